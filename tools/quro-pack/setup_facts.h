// What a setup executable says of itself besides its package: the version
// of the setup program (its version resource) and whether it carries an
// Authenticode signature. Release managers ask both before they ship.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "authenticode.h"

namespace quro_pack {

struct SetupVersion {
    std::string fileVersion;     // VS_FIXEDFILEINFO's file version, "0.76.0.0"
    std::string productVersion;  // the ProductVersion string, "0J.76"; empty when there is none
    std::string productName;     // the ProductName string, "Quro Host"; empty when there is none
};

struct Signature {
    bool present = false;       // the certificate table is not empty
    std::uint32_t size = 0;     // its bytes
    bool authenticode = false;  // its first entry is PKCS#7 signed data, as signtool and osslsigncode write it
    AuthenticodeCheck check;    // for an Authenticode signature: what it signs, who, when
};

struct SetupFacts {
    bool executable = false;              // a PE file, not a package resource by itself
    std::optional<SetupVersion> version;  // none without a readable version resource
    Signature signature;
};

// Never throws for a file that LocatePackage accepted; what cannot be read is
// reported as absent.
SetupFacts ReadSetupFacts(const std::uint8_t* file, std::size_t size);

// The product whose setup programs quro-pack makes, as their version
// resource names it.
inline constexpr char kProductName[] = "Quro Host";

// Whether an executable is a setup program of this product: its version
// resource names the product and a product version. Any other program that
// carries a package would not install it.
bool IsProductSetup(const SetupFacts& facts);

// "0.76.0.0 (product version 0J.76)"
std::string DescribeVersion(const SetupVersion& version);

// The line that says whether a setup is signed, without "signature".
std::string DescribeSignature(const Signature& signature);

// Why a setup does not carry an intact signature, or empty when it does.
std::string SignatureProblem(const SetupFacts& facts);

}  // namespace quro_pack
