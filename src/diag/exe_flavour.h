// Which compiler or runtime built an executable, told from its bytes alone:
// well-known marker strings that the runtime libraries leave behind are
// counted block by block, each candidate flavour is scored from the markers
// found, and the best score wins. Also the product directory check that
// reports the flavour of the product's three main executables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vx {

constexpr int32_t kSignatureMarkerCount = 10;
constexpr int32_t kFlavourCount = 6;

// Block size of the scan. Blocks are searched independently: a marker whose
// bytes straddle a block boundary is not seen.
constexpr size_t kSignatureBlockSize = 2048;

// The markers, in table order, as the scan compares them (upper case):
// 0 Delphi's runtime, 1 Lahey's copyright, 2 the product's own name, 3 and 4
// LF95, 5 the Phar Lap extender, 6 and 7 the F77 DOS extender, 8 LF95,
// 9 Intel Fortran.
const std::array<std::string, kSignatureMarkerCount>& SignatureMarkers();

// 0 "Unknown", 1 "Lahey F77", 2 "Lahey LF90", 3 "Lahey LF95", 4 "Intel
// Fortran", 5 "Delphi".
const std::array<std::string, kFlavourCount>& FlavourNames();

// "Old Lahey" for flavours 1 and 2, "New Fujitsu" for 3 and 4, "" otherwise.
std::string FlavourClass(int32_t flavour);

// Counts, per marker, the blocks in which it occurs. Each block has its zero
// bytes read as blanks and its ASCII letters upper-cased before the search.
//
// Speed: the block is folded in one branch-free pass, then walked once with
// a filter on the two bytes at each position: a set of 65536 bits (8 KiB, in
// the first-level cache) holding the first two bytes of every marker. Only
// where the filter hits are the markers compared, which in executable code
// is a few per cent of the positions; so the cost is about one bit lookup
// per byte instead of one search per marker.
class SignatureScanner {
 public:
  SignatureScanner();
  // Searches one block of at most kSignatureBlockSize bytes.
  void ScanBlock(const uint8_t* data, size_t size);
  const std::array<uint32_t, kSignatureMarkerCount>& Counts() const { return counts_; }

 private:
  std::array<uint32_t, kSignatureMarkerCount> counts_{};
  std::array<uint64_t, 65536 / 64> first_pairs_{};  // bit: some marker starts with this pair
  std::array<uint8_t, kSignatureBlockSize> text_{};
};

struct FlavourVerdict {
  int32_t flavour = 0;
  std::string flavour_class;
  std::string marker_list;  // "\"MARKER\" " per marker found, in table order
  std::string flavour_name;
};

// Scores the flavours from the marker counts. `has_dvclal` is asked only when
// the Delphi marker was found.
template <typename DvclalQuery>
FlavourVerdict JudgeFlavour(const std::array<uint32_t, kSignatureMarkerCount>& counts,
                            DvclalQuery has_dvclal);

// Scans the file (which must exist) and judges its flavour. A file that
// cannot be opened or read raises EFileError / EStreamError.
void ScanExeSignatures(const std::string& path, std::string& flavour_class,
                       std::string& marker_list, std::string& flavour_name);
void GetExeFlavour(const std::string& path, std::string& flavour_class, std::string& flavour_name);

// True when the file, loaded as a data file, has an RCDATA resource whose
// name is exactly "DVCLAL" (numeric names never match). Never fails.
bool HasDvclalResource(const std::string& path);

// The product directory block of the diagnostic report: the directory, one
// line per product executable (KELDA, SORVIN, MIRELT) and a warning for each
// pair whose flavour classes are both set and differ. Lines joined by CR LF.
// Raises as ScanExeSignatures does when an existing executable cannot be read.
std::string CheckProductDirectory();

// --- implementation of the template ---

namespace flavour_detail {
FlavourVerdict Judge(const std::array<uint32_t, kSignatureMarkerCount>& counts, bool has_dvclal);
}

template <typename DvclalQuery>
FlavourVerdict JudgeFlavour(const std::array<uint32_t, kSignatureMarkerCount>& counts,
                            DvclalQuery has_dvclal) {
  bool dvclal = counts[0] > 0 && has_dvclal();
  return flavour_detail::Judge(counts, dvclal);
}

}  // namespace vx
