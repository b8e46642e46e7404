#include "engine/script/args.h"

namespace qm {
namespace {

bool Between(const std::string& text, size_t open, size_t close, std::string* out) {
  if (open == std::string::npos || close == std::string::npos || close <= open) return false;
  out->assign(text, open + 1, close - open - 1);
  return true;
}

}  // namespace

bool ArgsFirstQuoted(const std::string& text, std::string* out) {
  size_t open = text.find('"');
  if (open == std::string::npos) return false;
  return Between(text, open, text.find('"', open + 1), out);
}

bool ArgsSecondQuoted(const std::string& text, std::string* out) {
  size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  size_t open = text.find('"', comma + 1);
  if (open == std::string::npos) return false;
  return Between(text, open, text.find('"', open + 1), out);
}

bool ArgsOuterQuoted(const std::string& text, std::string* out) {
  return Between(text, text.find('"'), text.rfind('"'), out);
}

bool ArgsFlagField(const std::string& text, std::string* out) {
  size_t comma = text.rfind(',');
  if (comma == std::string::npos) return false;
  std::string flags;
  for (size_t i = comma + 1; i < text.size(); ++i)
    if (text[i] != ' ') flags += text[i];
  *out = flags;
  return true;
}

bool ArgsPlaceholderName(const std::string& text, std::string* out) {
  size_t open = text.find('{');
  if (open == std::string::npos) return false;
  size_t close = text.find('}', open + 1);
  if (close == std::string::npos) return false;
  out->assign(text, open, close - open + 1);
  return true;
}

}  // namespace qm
