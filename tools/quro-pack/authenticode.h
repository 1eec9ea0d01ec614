// What the Authenticode signature of a setup says, read with libcrypto:
// whether the digest it signs is the digest of the file's bytes as they are,
// whether the signature over it holds, who signed it and when the time
// stamp says. Whether Windows trusts the signer is its certificate
// authorities' business (osslsigncode verify -CAfile checks that chain).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quro_pack {

struct AuthenticodeCheck {
    bool parsed = false;          // the certificate holds PKCS#7 signed data with an Authenticode digest
    bool digestMatches = false;   // the digest it signs is the file's own
    bool signatureHolds = false;  // the signer's signature over that digest verifies with its certificate
    std::string subject;          // the signer's certificate subject, RFC 2253
    std::string timestamp;        // the time stamp's time, "2026-12-10 14:30:00 UTC"; empty without one
    std::string problem;          // why parsed is false
    bool intact() const { return parsed && digestMatches && signatureHolds; }
};

// file is the whole PE file; certificate the PKCS#7 bytes of its first
// WIN_CERTIFICATE (after the 8-byte header); checksumOffset, directoryOffset
// (the certificate table's data directory entry) and tableOffset (where the
// table starts) are file offsets, which the digest leaves out.
AuthenticodeCheck CheckAuthenticode(const std::uint8_t* file, std::size_t tableOffset, std::size_t checksumOffset,
                                    std::size_t directoryOffset, const std::uint8_t* certificate,
                                    std::size_t certificateSize);

}  // namespace quro_pack
