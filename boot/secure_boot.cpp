#include "boot/secure_boot.h"

#include <algorithm>
#include <cstdint>

#include "boot/guid.h"
#include "boot/sha256.h"

namespace kavi {
namespace {

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

constexpr uint8_t kDerInteger = 0x02;
constexpr uint8_t kDerOid = 0x06;
constexpr uint8_t kDerSequence = 0x30;
constexpr uint8_t kDerSet = 0x31;
constexpr uint8_t kDerContext0 = 0xA0;

// One DER element inside [begin, end) of the bytes.
struct Der {
  uint8_t tag = 0;
  size_t start = 0;    // the tag byte
  size_t content = 0;  // the first content byte
  size_t end = 0;      // one past the last content byte

  std::string Whole(const std::string& b) const { return b.substr(start, end - start); }
};

// The element at `at`, which must end by `limit`. Only what DER allows:
// one-byte tags and definite lengths of up to four bytes.
bool ReadDer(const std::string& b, size_t at, size_t limit, Der* out) {
  if (limit > b.size() || at + 2 > limit) return false;
  const uint8_t tag = static_cast<uint8_t>(b[at]);
  if ((tag & 0x1F) == 0x1F) return false;
  size_t length = static_cast<uint8_t>(b[at + 1]);
  size_t content = at + 2;
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || content + count > limit) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = length << 8 | static_cast<uint8_t>(b[content + i]);
    content += count;
  }
  if (length > limit - content) return false;
  *out = Der{tag, at, content, content + length};
  return true;
}

// The children of a constructed element, in order.
std::vector<Der> Children(const std::string& b, const Der& parent) {
  std::vector<Der> children;
  for (size_t at = parent.content; at < parent.end;) {
    Der child;
    if (!ReadDer(b, at, parent.end, &child)) return {};
    children.push_back(child);
    at = child.end;
  }
  return children;
}

// Certificate ::= SEQUENCE { tbsCertificate SEQUENCE { [0] version OPTIONAL,
// serialNumber, signature, issuer, validity, subject, ... }, ... }
struct CertificateNames {
  std::string serial;  // the INTEGER element whole
  std::string issuer;
  std::string subject;
};

std::optional<CertificateNames> WalkCertificate(const std::string& b, const Der& certificate) {
  if (certificate.tag != kDerSequence) return std::nullopt;
  const std::vector<Der> outer = Children(b, certificate);
  if (outer.empty() || outer[0].tag != kDerSequence) return std::nullopt;
  std::vector<Der> tbs = Children(b, outer[0]);
  size_t i = !tbs.empty() && tbs[0].tag == kDerContext0 ? 1 : 0;
  if (tbs.size() < i + 5 || tbs[i].tag != kDerInteger || tbs[i + 2].tag != kDerSequence ||
      tbs[i + 4].tag != kDerSequence) {
    return std::nullopt;
  }
  return CertificateNames{tbs[i].Whole(b), tbs[i + 2].Whole(b), tbs[i + 4].Whole(b)};
}

std::optional<CertificateNames> WalkCertificate(const std::string& certificate) {
  Der whole;
  if (!ReadDer(certificate, 0, certificate.size(), &whole)) return std::nullopt;
  return WalkCertificate(certificate, whole);
}

// 1.2.840.113549.1.7.2, signedData.
const std::string kSignedDataOid("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 11);

// ContentInfo { contentType signedData, [0] SignedData { version,
// digestAlgorithms, encapContentInfo, [0] certificates, [1] crls OPTIONAL,
// signerInfos } }; each SignerInfo { version, issuerAndSerialNumber, ... }.
void AddSignerIssuers(const std::string& b, size_t begin, size_t end,
                      std::vector<std::string>* issuers, std::vector<std::string>* all) {
  Der contentInfo;
  if (!ReadDer(b, begin, end, &contentInfo) || contentInfo.tag != kDerSequence) return;
  const std::vector<Der> ci = Children(b, contentInfo);
  if (ci.size() < 2 || ci[0].tag != kDerOid || ci[0].Whole(b) != kSignedDataOid ||
      ci[1].tag != kDerContext0) {
    return;
  }
  Der signedData;
  if (!ReadDer(b, ci[1].content, ci[1].end, &signedData) || signedData.tag != kDerSequence) return;
  const std::vector<Der> sd = Children(b, signedData);
  if (sd.size() < 4 || sd.back().tag != kDerSet) return;
  std::vector<CertificateNames> certificates;
  for (const Der& part : sd) {
    if (part.tag != kDerContext0) continue;
    for (const Der& certificate : Children(b, part)) {
      if (std::optional<CertificateNames> names = WalkCertificate(b, certificate)) {
        certificates.push_back(*names);
        if (all) all->push_back(certificate.Whole(b));
      }
    }
  }
  for (const Der& signerInfo : Children(b, sd.back())) {
    const std::vector<Der> si = Children(b, signerInfo);
    if (si.size() < 2 || si[1].tag != kDerSequence) continue;  // no issuerAndSerialNumber
    const std::vector<Der> sid = Children(b, si[1]);
    if (sid.size() != 2) continue;
    for (const CertificateNames& c : certificates) {
      if (c.issuer == sid[0].Whole(b) && c.serial == sid[1].Whole(b)) {
        issuers->push_back(c.issuer);
        break;
      }
    }
  }
}

constexpr size_t kPeOffsetField = 0x3C;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint16_t kWinCertRevision2 = 0x0200;
constexpr uint16_t kWinCertTypePkcsSignedData = 0x0002;

struct PeSection {
  std::string name;  // up to 8 bytes, without the padding NULs
  size_t rawAt = 0;
  size_t rawSize = 0;
};

// Where the parts Authenticode skips or reads are in a PE image.
struct PeLayout {
  size_t checksumAt = 0;
  size_t certificateEntryAt = 0;  // the security directory entry
  size_t sizeOfHeaders = 0;
  size_t tableAt = 0;  // the certificate table (a file offset)
  size_t tableSize = 0;
  std::vector<PeSection> sections;
};

std::optional<PeLayout> ReadPeLayout(const std::string& image) {
  if (image.size() < kPeOffsetField + 4 || image.compare(0, 2, "MZ") != 0) return std::nullopt;
  const size_t pe = Le32(image, kPeOffsetField);
  // Signature, COFF header (20 bytes), then the optional header's magic.
  if (pe > image.size() || image.size() - pe < 24 + 2 ||
      image.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    return std::nullopt;
  }
  const size_t sectionCount = Le16(image, pe + 6);
  const size_t optionalSize = Le16(image, pe + 20);
  const size_t optional = pe + 24;
  const uint16_t magic = Le16(image, optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return std::nullopt;
  const size_t countAt = optional + (magic == kPe32Magic ? 92 : 108);
  const size_t directories = countAt + 4;
  if (directories + 8 * (kSecurityDirectory + 1) > image.size() ||
      Le32(image, countAt) <= kSecurityDirectory) {
    return std::nullopt;
  }
  PeLayout layout;
  layout.checksumAt = optional + 64;
  layout.sizeOfHeaders = Le32(image, optional + 60);
  layout.certificateEntryAt = directories + 8 * kSecurityDirectory;
  layout.tableAt = Le32(image, layout.certificateEntryAt);
  layout.tableSize = Le32(image, layout.certificateEntryAt + 4);
  if (layout.tableAt > image.size() || layout.tableSize > image.size() - layout.tableAt) {
    return std::nullopt;
  }
  constexpr size_t kSectionHeader = 40;
  const size_t table = optional + optionalSize;
  if (table > image.size() || sectionCount > (image.size() - table) / kSectionHeader) {
    return std::nullopt;
  }
  // Names longer than 8 bytes (".sbatlevel") are "/N": offset N into the
  // COFF string table behind the symbol table.
  const size_t strings = size_t{Le32(image, pe + 12)} + size_t{Le32(image, pe + 16)} * 18;
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t at = table + i * kSectionHeader;
    PeSection section;
    section.name = image.substr(at, 8);
    section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
    if (section.name.size() > 1 && section.name[0] == '/') {
      size_t offset = 0;
      for (size_t k = 1; k < section.name.size() && offset < image.size(); ++k) {
        if (section.name[k] < '0' || section.name[k] > '9') offset = image.size();
        offset = offset * 10 + static_cast<size_t>(section.name[k] - '0');
      }
      const size_t nameAt = strings + offset;
      const size_t nameEnd = nameAt < image.size() ? image.find('\0', nameAt) : std::string::npos;
      section.name = strings > 0 && nameEnd != std::string::npos
                         ? image.substr(nameAt, nameEnd - nameAt)
                         : std::string();
    }
    section.rawSize = Le32(image, at + 16);
    section.rawAt = Le32(image, at + 20);
    layout.sections.push_back(section);
  }
  return layout;
}

// The signature data (after each signature's owner GUID) of the
// EFI_SIGNATURE_LISTs of type `typeGuid`. A list whose sizes run past the
// data ends the walk.
std::vector<std::string> SignatureListEntries(const std::string& db, const char* typeGuid) {
  const Guid wanted = *ParseGuid(typeGuid);
  constexpr size_t kListHeader = 28;  // SignatureType, ListSize, HeaderSize, SignatureSize
  constexpr size_t kOwner = 16;       // each signature starts with its owner's GUID
  std::vector<std::string> entries;
  for (size_t at = 0; at + kListHeader <= db.size();) {
    Guid type;
    for (size_t i = 0; i < type.size(); ++i) type[i] = static_cast<uint8_t>(db[at + i]);
    const size_t listSize = Le32(db, at + 16);
    const size_t headerSize = Le32(db, at + 20);
    const size_t signatureSize = Le32(db, at + 24);
    if (listSize < kListHeader || listSize > db.size() - at ||
        headerSize > listSize - kListHeader) {
      break;
    }
    const size_t first = at + kListHeader + headerSize;
    const size_t end = at + listSize;
    if (type == wanted && signatureSize > kOwner) {
      for (size_t s = first; s + signatureSize <= end; s += signatureSize) {
        entries.push_back(db.substr(s + kOwner, signatureSize - kOwner));
      }
    }
    at = end;
  }
  return entries;
}

// Every Authenticode signature (WIN_CERTIFICATE of PKCS#7 SignedData) in
// the image's certificate table: its signer's issuer into `issuers`, and,
// with `certificates`, every certificate it carries.
void WalkImageSignatures(const std::string& image, std::vector<std::string>* issuers,
                         std::vector<std::string>* certificates) {
  const std::optional<PeLayout> pe = ReadPeLayout(image);
  if (!pe) return;
  const size_t tableEnd = pe->tableAt + pe->tableSize;
  constexpr size_t kWinCertificateHeader = 8;  // dwLength, wRevision, wCertificateType
  for (size_t at = pe->tableAt; at + kWinCertificateHeader <= tableEnd;) {
    const size_t length = Le32(image, at);
    if (length < kWinCertificateHeader || length > tableEnd - at) break;
    if (Le16(image, at + 4) == kWinCertRevision2 &&
        Le16(image, at + 6) == kWinCertTypePkcsSignedData) {
      AddSignerIssuers(image, at + kWinCertificateHeader, at + length, issuers, certificates);
    }
    at += (length + 7) & ~size_t{7};  // entries are 8-byte aligned
  }
}

}  // namespace

std::vector<std::string> DatabaseCertificates(const std::string& db) {
  return SignatureListEntries(db, kEfiCertX509Guid);
}

std::optional<std::string> CertificateSubject(const std::string& certificate) {
  const std::optional<CertificateNames> names = WalkCertificate(certificate);
  if (!names) return std::nullopt;
  return names->subject;
}

std::optional<std::string> CertificateIssuer(const std::string& certificate) {
  const std::optional<CertificateNames> names = WalkCertificate(certificate);
  if (!names) return std::nullopt;
  return names->issuer;
}

std::vector<std::string> ImageSignerIssuers(const std::string& image) {
  std::vector<std::string> issuers;
  WalkImageSignatures(image, &issuers, nullptr);
  return issuers;
}

std::vector<std::string> ImageCertificates(const std::string& image) {
  std::vector<std::string> issuers;
  std::vector<std::string> certificates;
  WalkImageSignatures(image, &issuers, &certificates);
  return certificates;
}

std::optional<std::string> AuthenticodeSha256(const std::string& image) {
  const std::optional<PeLayout> pe = ReadPeLayout(image);
  if (!pe || pe->sizeOfHeaders > image.size() || pe->sizeOfHeaders < pe->certificateEntryAt + 8) {
    return std::nullopt;
  }
  Sha256 hash;
  hash.Update(image.data(), pe->checksumAt);
  hash.Update(image.data() + pe->checksumAt + 4, pe->certificateEntryAt - pe->checksumAt - 4);
  hash.Update(image.data() + pe->certificateEntryAt + 8,
              pe->sizeOfHeaders - pe->certificateEntryAt - 8);
  std::vector<PeSection> sections = pe->sections;
  std::sort(sections.begin(), sections.end(),
            [](const PeSection& a, const PeSection& b) { return a.rawAt < b.rawAt; });
  size_t hashed = pe->sizeOfHeaders;
  for (const PeSection& section : sections) {
    if (section.rawSize == 0) continue;
    if (section.rawAt > image.size() || section.rawSize > image.size() - section.rawAt) {
      return std::nullopt;
    }
    hash.Update(image.data() + section.rawAt, section.rawSize);
    hashed += section.rawSize;
  }
  // What follows the sections, up to the certificate table.
  const size_t end = pe->tableSize != 0 ? pe->tableAt : image.size();
  if (end > hashed) hash.Update(image.data() + hashed, end - hashed);
  return hash.Final();
}

std::optional<std::string> ImageSection(const std::string& image, const std::string& name) {
  const std::optional<PeLayout> pe = ReadPeLayout(image);
  if (!pe) return std::nullopt;
  for (const PeSection& section : pe->sections) {
    if (section.name != name) continue;
    if (section.rawAt > image.size() || section.rawSize > image.size() - section.rawAt) break;
    return image.substr(section.rawAt, section.rawSize);
  }
  return std::nullopt;
}

std::vector<std::string> DatabaseSha256Hashes(const std::string& db) {
  std::vector<std::string> hashes;
  for (std::string& entry : SignatureListEntries(db, kEfiCertSha256Guid)) {
    if (entry.size() == 32) hashes.push_back(std::move(entry));
  }
  return hashes;
}

std::optional<uint32_t> SbatGeneration(const std::string& csv, const std::string& component) {
  size_t at = 0;
  while (at < csv.size()) {
    size_t end = csv.find('\n', at);
    if (end == std::string::npos) end = csv.size();
    const std::string line = csv.substr(at, end - at);
    at = end + 1;
    const size_t comma = line.find(',');
    if (comma == std::string::npos || line.compare(0, comma, component) != 0) continue;
    uint32_t generation = 0;
    size_t i = comma + 1;
    if (i >= line.size() || line[i] < '0' || line[i] > '9') return std::nullopt;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && generation < 100000000; ++i) {
      generation = generation * 10 + static_cast<uint32_t>(line[i] - '0');
    }
    return generation;
  }
  return std::nullopt;
}

bool SbatRevokesImage(const std::string& level, const std::string& image) {
  const std::optional<std::string> sbat = ImageSection(image, ".sbat");
  size_t at = 0;
  while (at < level.size()) {
    size_t end = level.find('\n', at);
    if (end == std::string::npos) end = level.size();
    const std::string line = level.substr(at, end - at);
    at = end + 1;
    const size_t comma = line.find(',');
    if (comma == 0 || comma == std::string::npos) continue;
    const std::string component = line.substr(0, comma);
    const std::optional<uint32_t> required = SbatGeneration(line, component);
    if (!required) continue;
    // A component the image does not name is not about it.
    const std::optional<uint32_t> has = sbat ? SbatGeneration(*sbat, component) : std::nullopt;
    if (has && *has < *required) return true;
  }
  return false;
}

std::vector<std::string> PublishedSbatLevels(const std::string& shim) {
  // .sbatlevel: a version (0), then the offsets of the "previous" and the
  // "latest" level from the end of the version, each NUL-terminated.
  const std::optional<std::string> section = ImageSection(shim, ".sbatlevel");
  std::vector<std::string> levels;
  if (!section || section->size() < 12 || Le32(*section, 0) != 0) return levels;
  for (size_t field : {size_t{4}, size_t{8}}) {
    const size_t at = 4 + size_t{Le32(*section, field)};
    if (at >= section->size()) continue;
    const size_t end = section->find('\0', at);
    levels.push_back(section->substr(at, end == std::string::npos ? end : end - at));
  }
  return levels;
}

std::optional<ImageRevocation> RevocationOfImage(const std::string& dbx, const std::string& db,
                                                 const std::string& sbatLevel,
                                                 const std::string& image) {
  if (const std::optional<std::string> hash = AuthenticodeSha256(image)) {
    for (const std::string& revoked : DatabaseSha256Hashes(dbx)) {
      if (revoked == *hash) return ImageRevocation::kImageHash;
    }
  }
  const std::vector<std::string> revokedCertificates = DatabaseCertificates(dbx);
  const std::vector<std::string> carried = ImageCertificates(image);
  const std::vector<std::string> issuers = ImageSignerIssuers(image);
  const std::vector<std::string> trusted = DatabaseCertificates(db);
  for (const std::string& revoked : revokedCertificates) {
    for (const std::string& c : carried) {
      if (c == revoked) return ImageRevocation::kSigner;
    }
    // The db certificate that issued our signer.
    const std::optional<std::string> subject = CertificateSubject(revoked);
    if (!subject) continue;
    for (const std::string& issuer : issuers) {
      if (*subject != issuer) continue;
      for (const std::string& t : trusted) {
        if (t == revoked) return ImageRevocation::kSigner;
      }
    }
  }
  if (SbatRevokesImage(sbatLevel, image)) return ImageRevocation::kSbatGeneration;
  return std::nullopt;
}

bool DatabaseTrustsImage(const std::string& db, const std::string& image) {
  const std::vector<std::string> issuers = ImageSignerIssuers(image);
  for (const std::string& certificate : DatabaseCertificates(db)) {
    const std::optional<std::string> subject = CertificateSubject(certificate);
    if (!subject) continue;
    for (const std::string& issuer : issuers) {
      if (*subject == issuer) return true;
    }
  }
  return false;
}

}  // namespace kavi
