#include "util/paths.h"

namespace vx {

namespace {

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string JoinPath(const std::string& dir, const std::string& rel) {
  std::string head = dir;
  if (!head.empty() && head.back() == '\\') head.pop_back();
  size_t skip = 0;
  while (skip < rel.size() && rel[skip] == '\\') ++skip;
  std::string tail = rel.substr(skip);
  if (head.size() == 2 && head[1] == ':') return head + tail;
  return head + "\\" + tail;
}

std::string FileDirectory(const std::string& path) {
  size_t cut = path.find_last_of("\\:");
  std::string dir = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

std::string FileNamePart(const std::string& path) {
  size_t cut = path.find_last_of("\\:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string AppendFileName(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '\\') return dir + name;
  return dir + "\\" + name;
}

}  // namespace vx
