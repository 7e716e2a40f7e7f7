#include "gamefixture/ArgReader.h"

#include <cerrno>
#include <cstdlib>

namespace drovane::fixture {

bool ArgReader::Next(std::string& name) {
  const std::string& arg = args_[next_++];
  hasInlineValue_ = false;
  inlineValue_.clear();
  if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
    option_.clear();
    name = arg;
    return false;
  }
  const size_t equals = arg.find('=');
  if (equals != std::string::npos) {
    hasInlineValue_ = true;
    inlineValue_ = arg.substr(equals + 1);
  }
  option_ = arg.substr(0, equals);
  name = option_;
  return true;
}

bool ArgReader::Value(std::string& value, std::string& error) {
  if (hasInlineValue_) {
    value = inlineValue_;
    return true;
  }
  if (Done()) {
    error = option_ + " needs a value";
    return false;
  }
  value = args_[next_++];
  return true;
}

bool ArgReader::NoValue(std::string& error) const {
  if (!hasInlineValue_) return true;
  error = option_ + " takes no value";
  return false;
}

bool ParseNumber(const std::string& option, const std::string& text, int64_t minimum,
                 int64_t maximum, int64_t& value, std::string& error) {
  const bool digitsOnly =
      !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  errno = 0;
  const long long parsed = digitsOnly ? std::strtoll(text.c_str(), nullptr, 10) : 0;
  if (!digitsOnly || errno == ERANGE || parsed < minimum || parsed > maximum) {
    error = option + " needs a whole number from " + std::to_string(minimum) + " to " +
            std::to_string(maximum) + ", not \"" + text + "\"";
    return false;
  }
  value = parsed;
  return true;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    items.push_back(
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

}  // namespace drovane::fixture
