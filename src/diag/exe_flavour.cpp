#include "diag/exe_flavour.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "util/drive_probes.h"
#include "util/environment_utils.h"

namespace vx {

namespace {

// As shipped; the scan compares them in upper case.
const std::array<std::string, kSignatureMarkerCount> kMarkersAsWritten = {
    "BORLAND\\DELPHI", "LAHEY COMPUTER SYSTEMS INC.",
    "VESTRIX",         "LF95V",
    "_ILLIGAL_",       "PHAR LAP",
    "386|VMM",         "32-bit power",
    "DEADLOCK ERROR",  "Intel Fortran"};

enum Flavour : int32_t {
  kUnknown = 0,
  kLaheyF77 = 1,
  kLaheyLF90 = 2,
  kLaheyLF95 = 3,
  kIntelFortran = 4,
  kDelphi = 5,
};

constexpr const char* kProductExecutables[] = {"KELDA", "SORVIN", "MIRELT"};
constexpr const char* kWarningPrefix = "**** WARNING **** ";

std::string Quoted(const std::string& text) {
  return "\"" + text + "\" ";
}

}  // namespace

const std::array<std::string, kSignatureMarkerCount>& SignatureMarkers() {
  static const std::array<std::string, kSignatureMarkerCount> upper = [] {
    std::array<std::string, kSignatureMarkerCount> markers = kMarkersAsWritten;
    for (std::string& marker : markers) marker = AsciiUpper(marker);
    return markers;
  }();
  return upper;
}

const std::array<std::string, kFlavourCount>& FlavourNames() {
  static const std::array<std::string, kFlavourCount> names = {
      "Unknown", "Lahey F77", "Lahey LF90", "Lahey LF95", "Intel Fortran", "Delphi"};
  return names;
}

std::string FlavourClass(int32_t flavour) {
  switch (flavour) {
    case kLaheyF77:
    case kLaheyLF90:
      return "Old Lahey";
    case kLaheyLF95:
    case kIntelFortran:
      return "New Fujitsu";
    default:
      return "";
  }
}

namespace {

// Zero becomes a blank, ASCII letters upper case; written without a table
// so that the compiler can fold many bytes per instruction.
inline uint8_t FoldByte(uint8_t b) {
  b = b == 0 ? uint8_t{' '} : b;
  return static_cast<uint8_t>(b - ((static_cast<uint8_t>(b - 'a') < 26) ? 32 : 0));
}

inline uint32_t PairAt(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

}  // namespace

SignatureScanner::SignatureScanner() {
  for (const std::string& marker : SignatureMarkers()) {
    uint32_t pair = PairAt(reinterpret_cast<const uint8_t*>(marker.data()));
    first_pairs_[pair >> 6] |= uint64_t{1} << (pair & 63);
  }
}

void SignatureScanner::ScanBlock(const uint8_t* data, size_t size) {
  size = std::min(size, kSignatureBlockSize);
  if (size < 2) return;  // every marker is longer than that
  uint8_t* text = text_.data();
  for (size_t i = 0; i < size; ++i) text[i] = FoldByte(data[i]);

  const auto& markers = SignatureMarkers();
  uint32_t found = 0;  // bit m: marker m occurs in this block
  constexpr uint32_t kAll = (1u << kSignatureMarkerCount) - 1;
  for (size_t i = 0; i + 1 < size; ++i) {
    uint32_t pair = PairAt(text + i);
    if (((first_pairs_[pair >> 6] >> (pair & 63)) & 1) == 0) continue;
    for (int32_t m = 0; m < kSignatureMarkerCount; ++m) {
      const std::string& marker = markers[m];
      if ((found >> m) & 1 || marker.size() > size - i) continue;
      if (std::memcmp(text + i, marker.data(), marker.size()) == 0) found |= 1u << m;
    }
    if (found == kAll) break;
  }
  for (int32_t m = 0; m < kSignatureMarkerCount; ++m) counts_[m] += (found >> m) & 1;
}

namespace flavour_detail {

FlavourVerdict Judge(const std::array<uint32_t, kSignatureMarkerCount>& counts, bool has_dvclal) {
  FlavourVerdict verdict;
  const auto& markers = SignatureMarkers();
  for (int32_t m = 0; m < kSignatureMarkerCount; ++m) {
    if (counts[m] > 0) verdict.marker_list += Quoted(markers[m]);
  }
  auto found = [&](int32_t m) { return counts[m] > 0; };
  std::array<int32_t, kFlavourCount> scores{};
  if (found(0)) scores[kDelphi] += 1;
  if (found(0) && has_dvclal) {
    verdict.marker_list += Quoted("DVCLAL resource");
    scores[kDelphi] += 20;
  }
  if (found(1)) {
    scores[kLaheyF77] += 1;
    scores[kLaheyLF90] += 2;
  }
  if (found(3)) scores[kLaheyLF95] += 1;
  if (found(4)) scores[kLaheyLF95] += 1;
  if (found(6)) scores[kLaheyF77] += 1;
  if (found(7)) scores[kLaheyF77] += 1;
  if (found(8)) scores[kLaheyLF95] += 1;
  if (found(9)) scores[kIntelFortran] += 1;

  // Only a strictly greater score replaces the best: ties go to the lower number.
  int32_t best = kUnknown;
  for (int32_t f = 1; f < kFlavourCount; ++f) {
    if (scores[f] > scores[best]) best = f;
  }
  verdict.flavour = best;
  verdict.flavour_class = FlavourClass(best);
  verdict.flavour_name = FlavourNames()[best];
  if (found(2)) verdict.flavour_name += "(Vestrix)";
  return verdict;
}

}  // namespace flavour_detail

void ScanExeSignatures(const std::string& path, std::string& flavour_class,
                       std::string& marker_list, std::string& flavour_name) {
  SignatureScanner scanner;
  {
    std::unique_ptr<platform::TFileStream> file = platform::TFileStream::OpenRead(path);
    // Many blocks per read, searched one block at a time exactly as if read
    // singly: a full block is followed by the next, the first short (or
    // empty) block ends the scan.
    constexpr size_t kBlocksPerRead = 32;
    std::vector<uint8_t> buffer(kSignatureBlockSize * kBlocksPerRead);
    for (;;) {
      int64_t got = file->Read(buffer.data(), static_cast<int64_t>(buffer.size()));
      size_t length = got > 0 ? static_cast<size_t>(got) : 0;
      size_t offset = 0;
      while (length - offset >= kSignatureBlockSize) {
        scanner.ScanBlock(buffer.data() + offset, kSignatureBlockSize);
        offset += kSignatureBlockSize;
      }
      if (length < buffer.size()) {
        // The last, short block (possibly empty).
        scanner.ScanBlock(buffer.data() + offset, length - offset);
        // A read that fails after some bytes came returns them short; the
        // next read then raises the failure instead of passing it for the end.
        uint8_t probe;
        file->Read(&probe, 1);
        break;
      }
    }
  }
  FlavourVerdict verdict = JudgeFlavour(scanner.Counts(), [&] { return HasDvclalResource(path); });
  flavour_class = verdict.flavour_class;
  marker_list = verdict.marker_list;
  flavour_name = verdict.flavour_name;
}

void GetExeFlavour(const std::string& path, std::string& flavour_class, std::string& flavour_name) {
  std::string marker_list;
  ScanExeSignatures(path, flavour_class, marker_list, flavour_name);
}

bool HasDvclalResource(const std::string& path) {
  return platform::DataFileHasNamedResource(path, platform::kResourceTypeRcData, "DVCLAL");
}

std::string CheckProductDirectory() {
  std::string dir = GetProductDir();
  if (dir.empty()) return "No VESTRIX directory: neither VXDIR nor C:\\VX exists";
  std::string text = "VESTRIX directory is " + dir;
  std::array<std::string, 3> classes;
  for (size_t i = 0; i < classes.size(); ++i) {
    std::string name = kProductExecutables[i];
    std::string path = JoinPath(dir, name + ".EXE");
    if (!platform::FileExists(path)) {
      text += "\r\n" + path + " does not exist !";
      continue;
    }
    std::string flavour_name;
    GetExeFlavour(path, classes[i], flavour_name);
    text += "\r\n" + name + " is " + path + "  " + flavour_name + "  " + FileDateText(path) +
            "  flavour: " + classes[i];
  }
  constexpr std::pair<size_t, size_t> kPairs[] = {{0, 1}, {0, 2}, {1, 2}};
  for (auto [a, b] : kPairs) {
    if (!classes[a].empty() && !classes[b].empty() && classes[a] != classes[b]) {
      text += std::string("\r\n") + kWarningPrefix + kProductExecutables[a] + " and " +
              kProductExecutables[b] + " have different Lahey/Fujitsu flavours";
    }
  }
  return text;
}

}  // namespace vx
