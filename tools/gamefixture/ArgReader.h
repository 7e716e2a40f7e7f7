#pragma once
// Walks a command line of "--name value", "--name=value", "--flag" and plain arguments, for
// the stand-in programs' option parsers.
#include <cstdint>
#include <string>
#include <vector>

namespace drovane::fixture {

class ArgReader {
 public:
  explicit ArgReader(std::vector<std::string> args) : args_(std::move(args)) {}

  bool Done() const { return next_ >= args_.size(); }
  // Takes the next argument. True when it is an option ("--name" or "--name=value"): name is
  // then the part before any "=". False for a plain argument, which is returned in name.
  bool Next(std::string& name);
  // The value of the option just taken: its "=value" part, or else the following argument.
  // False (with error set) when there is none.
  bool Value(std::string& value, std::string& error);
  // For an option that takes no value: false (with error set) when "=value" was given.
  bool NoValue(std::string& error) const;

 private:
  std::vector<std::string> args_;
  size_t next_ = 0;
  std::string option_;
  bool hasInlineValue_ = false;
  std::string inlineValue_;
};

// A decimal number in [minimum, maximum]; error names the option.
bool ParseNumber(const std::string& option, const std::string& text, int64_t minimum,
                 int64_t maximum, int64_t& value, std::string& error);
// Splits at commas; an empty text gives no items.
std::vector<std::string> SplitList(const std::string& text);

}  // namespace drovane::fixture
