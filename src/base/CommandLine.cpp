#include "base/CommandLine.h"

namespace drovane {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  enum class State { Outside, Inside, AfterClosingQuote };
  std::vector<std::string> arguments;
  std::string current;
  State state = State::Outside;
  const size_t length = commandLine.size();
  for (size_t i = 0; i < length; ++i) {
    const char c = commandLine[i];
    const char next = i + 1 < length ? commandLine[i + 1] : '\0';
    if (c == '"') {
      if (next == '"') {
        current += '"';
        ++i;
      } else if (state == State::Inside) {
        if (next == ' ') {
          arguments.push_back(current);
          current.clear();
          ++i;
          state = State::Outside;
        } else {
          state = State::AfterClosingQuote;
        }
      } else if (state == State::Outside) {
        state = State::Inside;
      }
      // After a closing quote a further lone quote is dropped.
    } else if (c == '\\') {
      if (next == '"') {
        current += '"';
        ++i;
      } else if (next == '\\' && state == State::Inside) {
        current += '\\';
        ++i;
      } else {
        current += c;
      }
    } else if (c == ' ') {
      if (state != State::Inside) {
        // Spaces outside quotes separate arguments; a run of them is one separator.
        if (!current.empty()) {
          arguments.push_back(current);
          current.clear();
        }
        state = State::Outside;
      } else {
        current += c;
      }
    } else {
      current += c;
    }
  }
  if (!current.empty()) arguments.push_back(current);
  return arguments;
}

LaunchMode LaunchModeFromArgument(const std::string& argument) {
  return argument == "normal" ? LaunchMode::Normal : LaunchMode::Hidden;
}

}  // namespace drovane
