#include "authenticode.h"

#include <cstring>
#include <ctime>
#include <memory>
#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

namespace quro_pack {
namespace {

struct Free {
    void operator()(PKCS7* p) const { PKCS7_free(p); }
    void operator()(PKCS7_SIGNER_INFO* p) const { PKCS7_SIGNER_INFO_free(p); }
    void operator()(TS_TST_INFO* p) const { TS_TST_INFO_free(p); }
    void operator()(X509_ALGOR* p) const { X509_ALGOR_free(p); }
    void operator()(ASN1_OCTET_STRING* p) const { ASN1_OCTET_STRING_free(p); }
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(STACK_OF(X509) * p) const { sk_X509_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

// One DER element at p within avail bytes: its contents, and p moved past it.
bool NextElement(const unsigned char*& p, long avail, const unsigned char*& contents, long& length)
{
    const unsigned char* q = p;
    int tag = 0, cls = 0;
    const int r = ASN1_get_object(&q, &length, &tag, &cls, avail);
    if ((r & 0x80) || r == 0x21) return false;  // an error, or an indefinite length
    contents = q;
    p = q + length;
    return true;
}

std::string Utc(const ASN1_TIME* time)
{
    std::tm tm{};
    if (!time || ASN1_TIME_to_tm(time, &tm) != 1) return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

// The time an RFC 3161 time stamp token (as osslsigncode -ts and signtool
// /tr attach it) or an older Authenticode countersignature (/t) gives.
std::string TimeStamp(PKCS7_SIGNER_INFO* signer)
{
    STACK_OF(X509_ATTRIBUTE)* unsigned_ = signer->unauth_attr;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(unsigned_); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(unsigned_, i);
        char oid[64];
        OBJ_obj2txt(oid, sizeof oid, X509_ATTRIBUTE_get0_object(attribute), 1);
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
        if (!value || value->type != V_ASN1_SEQUENCE) continue;
        const unsigned char* p = value->value.sequence->data;
        const long n = value->value.sequence->length;
        if (std::strcmp(oid, "1.3.6.1.4.1.311.3.3.1") == 0) {
            const Owned<PKCS7> token(d2i_PKCS7(nullptr, &p, n));
            const Owned<TS_TST_INFO> info(token ? PKCS7_to_TS_TST_INFO(token.get()) : nullptr);
            if (info) return Utc(TS_TST_INFO_get_time(info.get()));
        } else if (std::strcmp(oid, "1.2.840.113549.1.9.6") == 0) {
            const Owned<PKCS7_SIGNER_INFO> counter(d2i_PKCS7_SIGNER_INFO(nullptr, &p, n));
            const ASN1_TYPE* when =
                counter ? PKCS7_get_signed_attribute(counter.get(), NID_pkcs9_signingTime) : nullptr;
            if (when && when->type == V_ASN1_UTCTIME) return Utc(when->value.utctime);
        }
    }
    return {};
}

// The signer's signature: over its signed attributes, whose message digest
// must be that of the signed content. Authenticode's content is the
// SpcIndirectDataContent without its outer tag and length, which is why
// PKCS7_verify, which takes the content whole, does not serve.
bool SignatureHolds(PKCS7_SIGNER_INFO* signer, X509* certificate, const unsigned char* content, long length)
{
    const EVP_MD* md = EVP_get_digestbyobj(signer->digest_alg->algorithm);
    ASN1_OCTET_STRING* stated = PKCS7_digest_from_attributes(signer->auth_attr);
    if (!md || !stated) return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(content, std::size_t(length), digest, &size, md, nullptr) != 1 ||
        std::size_t(stated->length) != size || std::memcmp(stated->data, digest, size) != 0)
        return false;
    unsigned char* attributes = nullptr;
    const int n =
        ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(signer->auth_attr), &attributes, ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    if (n <= 0) return false;
    const Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    const bool holds = context &&
                       EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, X509_get0_pubkey(certificate)) == 1 &&
                       EVP_DigestVerify(context.get(), signer->enc_digest->data,
                                        std::size_t(signer->enc_digest->length), attributes, std::size_t(n)) == 1;
    OPENSSL_free(attributes);
    return holds;
}

}  // namespace

AuthenticodeCheck CheckAuthenticode(const std::uint8_t* file, std::size_t tableOffset, std::size_t checksumOffset,
                                    std::size_t directoryOffset, const std::uint8_t* certificate,
                                    std::size_t certificateSize)
{
    AuthenticodeCheck check;
    const auto fail = [&](const char* why) {
        check.problem = why;
        return check;
    };
    if (certificateSize > 0x7FFFFFFF) return fail("the certificate is too large");
    const unsigned char* p = certificate;
    const Owned<PKCS7> signature(d2i_PKCS7(nullptr, &p, long(certificateSize)));
    if (!signature || !PKCS7_type_is_signed(signature.get())) return fail("the certificate is no PKCS#7 signed data");
    PKCS7_SIGNED* signed_ = signature->d.sign;
    if (!signed_->contents || OBJ_obj2nid(signed_->contents->type) == NID_pkcs7_data || !signed_->contents->d.other ||
        signed_->contents->d.other->type != V_ASN1_SEQUENCE)
        return fail("it signs no Authenticode content (SpcIndirectDataContent)");
    // SpcIndirectDataContent: SEQUENCE { SpcAttributeTypeAndOptionalValue,
    // DigestInfo SEQUENCE { AlgorithmIdentifier, OCTET STRING } }.
    const ASN1_STRING* indirect = signed_->contents->d.other->value.sequence;
    const unsigned char* at = indirect->data;
    const unsigned char *content = nullptr, *inner = nullptr, *digestInfo = nullptr;
    long contentLength = 0, innerLength = 0, digestInfoLength = 0;
    if (!NextElement(at, indirect->length, content, contentLength)) return fail("its signed content is damaged");
    const unsigned char* end = content + contentLength;
    at = content;
    if (!NextElement(at, end - at, inner, innerLength) || !NextElement(at, end - at, digestInfo, digestInfoLength))
        return fail("its signed content is damaged");
    const unsigned char* d = digestInfo;
    const Owned<X509_ALGOR> algorithm(d2i_X509_ALGOR(nullptr, &d, digestInfoLength));
    const Owned<ASN1_OCTET_STRING> signedDigest(
        algorithm ? d2i_ASN1_OCTET_STRING(nullptr, &d, digestInfo + digestInfoLength - d) : nullptr);
    const EVP_MD* md = algorithm ? EVP_get_digestbyobj(algorithm->algorithm) : nullptr;
    if (!signedDigest || !md) return fail("its signed digest is damaged or of an unknown kind");
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(signature.get());
    if (sk_PKCS7_SIGNER_INFO_num(signers) != 1) return fail("it has not exactly one signer");
    check.parsed = true;

    // The file's digest leaves out the checksum, the certificate table's
    // entry and the table itself, which signing changes.
    const Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    const std::size_t ranges[][2] = {
        {0, checksumOffset}, {checksumOffset + 4, directoryOffset}, {directoryOffset + 8, tableOffset}};
    bool hashed = context && EVP_DigestInit_ex(context.get(), md, nullptr) == 1;
    for (const auto& r : ranges) hashed = hashed && EVP_DigestUpdate(context.get(), file + r[0], r[1] - r[0]) == 1;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    hashed = hashed && EVP_DigestFinal_ex(context.get(), digest, &size) == 1;
    check.digestMatches =
        hashed && std::size_t(signedDigest->length) == size && std::memcmp(signedDigest->data, digest, size) == 0;

    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    const Owned<STACK_OF(X509)> certificates(PKCS7_get0_signers(signature.get(), nullptr, 0));
    X509* signerCertificate =
        certificates && sk_X509_num(certificates.get()) > 0 ? sk_X509_value(certificates.get(), 0) : nullptr;
    if (signerCertificate) {
        const Owned<BIO> text(BIO_new(BIO_s_mem()));
        if (text && X509_NAME_print_ex(text.get(), X509_get_subject_name(signerCertificate), 0, XN_FLAG_RFC2253) >= 0) {
            char* data = nullptr;
            const long n = BIO_get_mem_data(text.get(), &data);
            check.subject.assign(data, std::size_t(n));
        }
        check.signatureHolds = SignatureHolds(signer, signerCertificate, content, contentLength);
    }
    check.timestamp = TimeStamp(signer);
    return check;
}

}  // namespace quro_pack
