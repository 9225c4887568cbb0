// Authenticode, checked with OpenSSL's library, whatever the chain. The signature is a PKCS#7
// SignedData whose content, SpcIndirectDataContent, holds the digest of the file; the signer's
// signed attributes hold the digest of that content, and the signer signs the attributes with
// the key of a certificate the table carries:
//
//   ContentInfo signedData
//     SignedData: version 1, digestAlgorithms {one}, contentInfo, certificates, signerInfos {one}
//       contentInfo: SPC_INDIRECT_DATA, [0] SpcIndirectDataContent
//         SEQUENCE { SEQUENCE { SPC_PE_IMAGE_DATA, ... }, DigestInfo { algorithm, digest } }
//       SignerInfo: version 1, issuer and serial number, digestAlgorithm,
//         [0] signed attributes (messageDigest: the digest of the content's octets, ...),
//         the key's algorithm, the signature over the signed attributes,
//         [1] unsigned attributes (a timestamp, which is not checked here)
//
// The file's digest, the content's digest and the signature are each checked; so is every
// certificate of the chain, by its issuer's key or, for a root, by its own. The bytes that none
// of them covers are held to the one value they may have: the SignedData must re-encode to
// itself (DER), the versions must be 1, the algorithms must agree with the ones that are signed,
// and the signer's issuer must be spelt as in its certificate. Whether the chain ends at a root
// this machine trusts is a finding apart.
#include "authenticode.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include "file_io.h"

namespace pqpack {

namespace {

// The object identifiers Microsoft gives the content and the kind of file it describes.
constexpr char kOid_SpcIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
constexpr char kOid_SpcPeImageData[] = "1.3.6.1.4.1.311.2.1.15";
// The SignedData and SignerInfo versions that name the signer by issuer and serial number.
constexpr long kSignedDataVersion = 1;
constexpr long kSignerInfoVersion = 1;
// The file is hashed in blocks of this size, never held whole: an installer reaches 2 GiB.
constexpr size_t kDigestBlockSize = 1 << 16;
// A certificate and its chain in PEM take a few kilobytes; a file far larger is none.
constexpr uint64_t kLongestPemFile = 1u << 20;

template <auto Release>
struct Releaser {
  template <typename T>
  void operator()(T* object) const {
    Release(object);
  }
};
template <typename T, auto Release>
using Owned = std::unique_ptr<T, Releaser<Release>>;
struct CertificateListReleaser {
  void operator()(STACK_OF(X509) * list) const { sk_X509_free(list); }
};

// OpenSSL's reason for the failure just met; its error queue is emptied.
std::string openSslReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  ERR_clear_error();
  return reason != nullptr ? reason : "no reason given";
}

std::string subjectOf(X509* certificate) {
  char text[512];
  X509_NAME_oneline(X509_get_subject_name(certificate), text, sizeof text);
  return text;
}

std::string hexOf(const std::vector<uint8_t>& bytes) {
  std::string text(bytes.size() * 2 + 1, '\0');
  size_t length = 0;
  OPENSSL_buf2hexstr_ex(text.data(), text.size(), &length, bytes.data(), bytes.size(), '\0');
  text.resize(length > 0 ? length - 1 : 0);
  return text;
}

// "SHA-256", as people write a digest's name.
std::string digestName(const EVP_MD* type) {
  std::string name = OBJ_nid2sn(EVP_MD_get_type(type));
  for (char& letter : name) letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (name.size() > 3 && name.compare(0, 3, "SHA") == 0 && std::isdigit(static_cast<unsigned char>(name[3]))) {
    name.insert(3, "-");
  }
  return name;
}

// One DER element: its tag and where its contents lie.
struct DerElement {
  int tag = 0;
  int tagClass = 0;
  const uint8_t* contents = nullptr;
  long length = 0;
  const uint8_t* end() const { return contents + length; }
};

// The element at `*cursor`, of definite length and ending by `end`; `*cursor` moves past it.
bool readElement(const uint8_t** cursor, const uint8_t* end, DerElement* element) {
  const unsigned char* at = *cursor;
  const int flags = ASN1_get_object(&at, &element->length, &element->tag, &element->tagClass, end - *cursor);
  if ((flags & 0x80) != 0 || (flags & 0x01) != 0) return false;  // malformed, or of indefinite length
  element->contents = at;
  *cursor = element->end();
  return true;
}

// What the SpcIndirectDataContent says: the octets its digest covers and the file's digest.
struct IndirectData {
  const uint8_t* contents = nullptr;  // the content's octets, without its own tag and length
  long length = 0;
  const EVP_MD* digestType = nullptr;
  std::vector<uint8_t> digest;
};

bool readIndirectData(const ASN1_TYPE* content, IndirectData* data) {
  if (content == nullptr || content->type != V_ASN1_SEQUENCE) return false;
  const uint8_t* cursor = content->value.sequence->data;
  const uint8_t* const end = cursor + content->value.sequence->length;
  DerElement whole, imageData, digestInfo;
  if (!readElement(&cursor, end, &whole) || whole.tag != V_ASN1_SEQUENCE || cursor != end) return false;
  cursor = whole.contents;
  if (!readElement(&cursor, whole.end(), &imageData) || imageData.tag != V_ASN1_SEQUENCE ||
      !readElement(&cursor, whole.end(), &digestInfo) || digestInfo.tag != V_ASN1_SEQUENCE || cursor != whole.end()) {
    return false;
  }
  const unsigned char* at = imageData.contents;
  Owned<ASN1_OBJECT, ASN1_OBJECT_free> type(d2i_ASN1_OBJECT(nullptr, &at, imageData.length));
  Owned<ASN1_OBJECT, ASN1_OBJECT_free> peImage(OBJ_txt2obj(kOid_SpcPeImageData, 1));
  if (!type || !peImage || OBJ_cmp(type.get(), peImage.get()) != 0) return false;
  at = digestInfo.contents;
  Owned<X509_ALGOR, X509_ALGOR_free> algorithm(d2i_X509_ALGOR(nullptr, &at, digestInfo.length));
  if (!algorithm) return false;
  Owned<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free> digest(d2i_ASN1_OCTET_STRING(nullptr, &at, digestInfo.end() - at));
  if (!digest || at != digestInfo.end()) return false;
  data->digestType = EVP_get_digestbyobj(algorithm->algorithm);
  if (data->digestType == nullptr || ASN1_STRING_length(digest.get()) != EVP_MD_get_size(data->digestType)) {
    return false;
  }
  const uint8_t* digestBytes = ASN1_STRING_get0_data(digest.get());
  data->digest.assign(digestBytes, digestBytes + ASN1_STRING_length(digest.get()));
  data->contents = whole.contents;
  data->length = whole.length;
  return true;
}

// The digest of the `covered` ranges of the file, read block by block.
bool digestOfFile(const std::string& path, const std::vector<FileRange>& covered, const EVP_MD* type,
                  std::vector<uint8_t>* digest) {
  InputFile file(path);
  Owned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
  if (!file.isOpen() || !context || EVP_DigestInit_ex(context.get(), type, nullptr) != 1) return false;
  std::vector<uint8_t> block(kDigestBlockSize);
  for (const FileRange& range : covered) {
    for (uint64_t done = 0; done < range.size;) {
      const size_t count = static_cast<size_t>(std::min<uint64_t>(block.size(), range.size - done));
      if (!file.readAt(range.offset + done, block.data(), count) ||
          EVP_DigestUpdate(context.get(), block.data(), count) != 1) {
        return false;
      }
      done += count;
    }
  }
  unsigned int size = 0;
  digest->resize(EVP_MAX_MD_SIZE);
  if (EVP_DigestFinal_ex(context.get(), digest->data(), &size) != 1) return false;
  digest->resize(size);
  return true;
}

// Why the SignedData is not laid out as an Authenticode signature is, or empty.
std::string layoutProblem(PKCS7* signedData, const ASN1_OBJECT* indirectData) {
  if (!PKCS7_type_is_signed(signedData) || signedData->d.sign == nullptr) return "it is no PKCS#7 SignedData";
  const PKCS7_SIGNED* sign = signedData->d.sign;
  if (ASN1_INTEGER_get(sign->version) != kSignedDataVersion) return "its SignedData version is not 1";
  const int signers = sk_PKCS7_SIGNER_INFO_num(sign->signer_info);
  if (signers != 1) return "it has " + std::to_string(signers < 0 ? 0 : signers) + " signers, not one";
  const PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(sign->signer_info, 0);
  if (ASN1_INTEGER_get(info->version) != kSignerInfoVersion) return "its SignerInfo version is not 1";
  if (sk_X509_ALGOR_num(sign->md_algs) != 1 ||
      X509_ALGOR_cmp(sk_X509_ALGOR_value(sign->md_algs, 0), info->digest_alg) != 0) {
    return "its list of digest algorithms is not the one digest its signer uses";
  }
  if (sign->contents == nullptr || OBJ_cmp(sign->contents->type, indirectData) != 0) {
    return "its content is no SpcIndirectDataContent";
  }
  return "";
}

// The signer's issuer is compared as it is spelt: the usual comparison of names ignores case
// and string types, which would let a changed byte pass.
bool sameSpelling(const X509_NAME* a, const X509_NAME* b) {
  const unsigned char* aBytes = nullptr;
  const unsigned char* bBytes = nullptr;
  size_t aLength = 0, bLength = 0;
  return X509_NAME_get0_der(a, &aBytes, &aLength) == 1 && X509_NAME_get0_der(b, &bBytes, &bLength) == 1 &&
         aLength == bLength && std::memcmp(aBytes, bBytes, aLength) == 0;
}

// True when the signer's key algorithm is the certificate's key type, alone or with a digest,
// without parameters.
bool keyAlgorithmFits(const PKCS7_SIGNER_INFO* info, X509* certificate) {
  const ASN1_OBJECT* algorithm = nullptr;
  int parameterType = V_ASN1_UNDEF;
  const void* parameter = nullptr;
  X509_ALGOR_get0(&algorithm, &parameterType, &parameter, info->digest_enc_alg);
  const EVP_PKEY* key = X509_get0_pubkey(certificate);
  if (key == nullptr || (parameterType != V_ASN1_UNDEF && parameterType != V_ASN1_NULL)) return false;
  const int keyType = EVP_PKEY_get_base_id(key);
  const int named = OBJ_obj2nid(algorithm);
  int digestType = NID_undef, namedKeyType = NID_undef;
  return named == keyType || (OBJ_find_sigid_algs(named, &digestType, &namedKeyType) == 1 && namedKeyType == keyType);
}

struct ChainError {
  int code;
  std::string certificate;
};

// Records every error of the chain and goes on, so that each certificate is still checked.
int recordChainError(int ok, X509_STORE_CTX* context) {
  if (ok == 0) {
    auto* errors = static_cast<std::vector<ChainError>*>(X509_STORE_CTX_get_app_data(context));
    X509* certificate = X509_STORE_CTX_get_current_cert(context);
    errors->push_back({X509_STORE_CTX_get_error(context), certificate != nullptr ? subjectOf(certificate) : ""});
  }
  return 1;
}

// The chain from the signer's certificate, through the ones the table carries, to a root that
// the machine's store of authorities (OpenSSL's default, or SSL_CERT_FILE) trusts.
void checkChain(X509* signer, STACK_OF(X509) * carried, SignatureReport* report) {
  const std::string signerName = subjectOf(signer);
  Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
  Owned<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
  std::vector<ChainError> errors;
  if (!store || !context || X509_STORE_set_default_paths(store.get()) != 1 ||
      X509_STORE_CTX_init(context.get(), store.get(), signer, carried) != 1) {
    report->problems.push_back({FindingCode::SignatureChain, kNoEntry,
                                "the certificate chain of " + signerName + " cannot be checked: " + openSslReason()});
    return;
  }
  // A root is checked against its own key too: trusted or not, none of its bytes may change.
  X509_STORE_CTX_set_flags(context.get(), X509_V_FLAG_CHECK_SS_SIGNATURE);
  X509_STORE_CTX_set_app_data(context.get(), &errors);
  X509_STORE_CTX_set_verify_cb(context.get(), recordChainError);
  if (X509_verify_cert(context.get()) < 0 && errors.empty()) {
    report->problems.push_back({FindingCode::SignatureChain, kNoEntry,
                                "the certificate chain of " + signerName + " cannot be checked: " + openSslReason()});
    return;
  }
  ERR_clear_error();
  const ChainError* untrusted = nullptr;
  const ChainError* outOfDate = nullptr;
  for (const ChainError& error : errors) {
    const std::string reason = X509_verify_cert_error_string(error.code);
    switch (error.code) {
      case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        if (untrusted == nullptr) untrusted = &error;
        break;
      case X509_V_ERR_CERT_HAS_EXPIRED:
      case X509_V_ERR_CERT_NOT_YET_VALID:
        if (outOfDate == nullptr) outOfDate = &error;
        break;
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
      case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        // Without its issuer a certificate's own signature cannot be checked, so a changed byte
        // in it would pass: a chain must reach a root.
        report->problems.push_back({FindingCode::SignatureChain, kNoEntry,
                                    "the certificate chain of " + signerName + " is broken at " + error.certificate +
                                        ": " + reason + "; the table must carry every certificate up to a root (give "
                                        "--sign-cert the certificate and its chain)"});
        return;
      default:
        report->problems.push_back({FindingCode::SignatureChain, kNoEntry,
                                    "the certificate chain of " + signerName + " is broken at " + error.certificate +
                                        ": " + reason});
        return;
    }
  }
  if (untrusted != nullptr && report->problems.empty()) {
    report->warnings.push_back({FindingCode::SignatureUntrusted, kNoEntry,
                                "it matches the file, but the certificate of " + signerName +
                                    " is not trusted on this machine (" +
                                    X509_verify_cert_error_string(untrusted->code) +
                                    "); Windows warns of it unless the certificate comes from a code-signing "
                                    "authority"});
  }
  if (outOfDate != nullptr) {
    report->warnings.push_back({FindingCode::SignatureValidity, kNoEntry,
                                "the certificate of " + outOfDate->certificate + " is outside its validity (" +
                                    X509_verify_cert_error_string(outOfDate->code) +
                                    "); Windows accepts the signature only if it was timestamped while it was valid"});
  }
}

} // namespace

void checkAuthenticode(const std::string& path, const std::vector<FileRange>& covered,
                       const std::vector<uint8_t>& signature, SignatureReport* report) {
  // Every finding here but the chain's says that the signature does not hold for the file.
  const auto problem = [&](const std::string& message) {
    report->problems.push_back({FindingCode::SignatureInvalid, kNoEntry, message});
  };
  ERR_clear_error();
  const unsigned char* at = signature.data();
  Owned<PKCS7, PKCS7_free> signedData(d2i_PKCS7(nullptr, &at, static_cast<long>(signature.size())));
  if (!signedData) {
    problem("the certificate table holds no readable PKCS#7 signature (" + openSslReason() + ")");
    return;
  }
  const size_t encodedLength = static_cast<size_t>(at - signature.data());
  if (std::any_of(signature.begin() + static_cast<std::ptrdiff_t>(encodedLength), signature.end(),
                  [](uint8_t byte) { return byte != 0; })) {
    problem("the bytes after the signature in its certificate table are not zero");
  }
  unsigned char* reencoded = nullptr;
  const int reencodedLength = i2d_PKCS7(signedData.get(), &reencoded);
  if (reencodedLength < 0 || static_cast<size_t>(reencodedLength) != encodedLength ||
      std::memcmp(reencoded, signature.data(), encodedLength) != 0) {
    problem("the signature's encoding was altered: it is not the DER encoding it was made in");
  }
  OPENSSL_free(reencoded);

  Owned<ASN1_OBJECT, ASN1_OBJECT_free> indirectData(OBJ_txt2obj(kOid_SpcIndirectData, 1));
  const std::string layout = layoutProblem(signedData.get(), indirectData.get());
  if (!layout.empty()) {
    problem("the certificate table holds no Authenticode signature: " + layout);
    return;
  }
  PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(signedData->d.sign->signer_info, 0);
  std::unique_ptr<STACK_OF(X509), CertificateListReleaser> signers(PKCS7_get0_signers(signedData.get(), nullptr, 0));
  if (!signers || sk_X509_num(signers.get()) != 1) {
    problem("the certificate that made the signature is not in the table (" + openSslReason() + ")");
    return;
  }
  X509* signer = sk_X509_value(signers.get(), 0);
  report->signer = subjectOf(signer);
  if (!sameSpelling(info->issuer_and_serial->issuer, X509_get_issuer_name(signer))) {
    problem("the signer's issuer is not spelt as in the certificate of " + report->signer);
  }
  if (!keyAlgorithmFits(info, signer)) {
    problem("the signature's key algorithm is not the one of the certificate of " + report->signer);
  }

  IndirectData data;
  if (!readIndirectData(signedData->d.sign->contents->d.other, &data)) {
    problem("the signature's content holds no digest of a Windows program");
    return;
  }
  Owned<BIO, BIO_free_all> content(BIO_new_mem_buf(data.contents, static_cast<int>(data.length)));
  // The chain is checked apart, below: its trust is a finding of its own.
  if (!content || PKCS7_verify(signedData.get(), nullptr, nullptr, content.get(), nullptr, PKCS7_NOVERIFY) != 1) {
    problem("the signature does not verify with the certificate of " + report->signer + " (" + openSslReason() + ")");
  }
  std::vector<uint8_t> fileDigest;
  if (!digestOfFile(path, covered, data.digestType, &fileDigest)) {
    problem("cannot read '" + path + "' to take its digest");
  } else if (fileDigest != data.digest) {
    const std::string name = digestName(data.digestType);
    problem("the file changed after it was signed: its " + name + " digest is " + hexOf(fileDigest) +
            ", the signature's " + hexOf(data.digest) + "; build and sign it again");
  }
  checkChain(signer, signedData->d.sign->cert, report);
}

std::string certificateSubject(const std::string& path) {
  std::vector<uint8_t> pem;
  std::string ignored;
  if (!readWholeFile(path, kLongestPemFile, &pem, &ignored)) return "";
  Owned<BIO, BIO_free_all> text(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  Owned<X509, X509_free> certificate(text ? PEM_read_bio_X509(text.get(), nullptr, nullptr, nullptr) : nullptr);
  ERR_clear_error();
  return certificate ? subjectOf(certificate.get()) : "";
}

} // namespace pqpack
