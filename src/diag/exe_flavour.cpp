#include "diag/exe_flavour.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/resources.h"
#include "util/drive_probes.h"
#include "util/environment_utils.h"
#include "util/paths.h"

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

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Byte -> searched text: zero becomes a blank, ASCII letters upper case.
struct BlockFolding {
  std::array<uint8_t, 256> to{};
  BlockFolding() {
    for (int32_t b = 0; b < 256; ++b) {
      to[b] = static_cast<uint8_t>(b == 0 ? ' ' : AsciiUpper(static_cast<char>(b)));
    }
  }
};
const BlockFolding kFolding;

constexpr const char* kProductExecutables[] = {"KELDA", "SORVIN", "MIRELT"};
constexpr const char* kWarningPrefix = "**** WARNING **** ";

std::string Quoted(const std::string& text) {
  return "\"" + text + "\" ";
}

}  // namespace

const std::array<std::string, kSignatureMarkerCount>& SignatureMarkers() {
  static const std::array<std::string, kSignatureMarkerCount> upper = [] {
    std::array<std::string, kSignatureMarkerCount> markers = kMarkersAsWritten;
    for (std::string& marker : markers)
      std::transform(marker.begin(), marker.end(), marker.begin(), AsciiUpper);
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

SignatureScanner::SignatureScanner() {
  (void)SignatureMarkers();  // build the table before the first block
}

void SignatureScanner::ScanBlock(const uint8_t* data, size_t size) {
  size = std::min(size, kSignatureBlockSize);
  for (size_t i = 0; i < size; ++i) text_[i] = kFolding.to[data[i]];
  // The search starts from the marker's first byte (a memchr-speed scan in
  // the standard library), which is rare in executable code.
  std::string_view text(reinterpret_cast<const char*>(text_.data()), size);
  const auto& markers = SignatureMarkers();
  for (int32_t m = 0; m < kSignatureMarkerCount; ++m) {
    if (text.find(markers[m]) != std::string_view::npos) ++counts_[m];
  }
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
