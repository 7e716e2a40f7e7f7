// What the client reads from the service's answers and from the game's settings files: the
// key and value lines of auth.php and upload.php, the decision an ended request leads to, and
// the realm list and portal lines. The first input byte picks the phase and the status.
#include <vector>

#include "FuzzSupport.h"
#include "net/Url.h"
#include "upload/GameConfigLines.h"
#include "upload/UploadDecisions.h"
#include "upload/UploadProtocol.h"

using namespace drovane;

namespace {

// Read apart from the parser under test: the key and value lines of the answer, a carriage
// return before each line feed dropped, the last pair of that key deciding; its value must be
// zero written as a whole number ("0", "00", "-0").
bool CarriesResultZero(const std::string& body, const std::string& key) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < body.size()) {
    size_t end = body.find('\n', begin);
    if (end == std::string::npos) end = body.size();
    size_t last = end;
    if (last > begin && body[last - 1] == '\r') --last;
    lines.push_back(UrlDecode(body.substr(begin, last - begin)));
    begin = end + 1;
  }
  const std::string* value = nullptr;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    if (lines[i] == key) value = &lines[i + 1];
  }
  if (!value) return false;
  const size_t digits = !value->empty() && (*value)[0] == '-' ? 1 : 0;
  return value->size() > digits &&
         value->find_first_not_of('0', digits) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const uint8_t selector = input.Byte();
  const std::string body = input.Rest();

  ResponseMap answer;
  const bool stored = ParseResponseLines(body, answer);
  FUZZ_CHECK(stored == !answer.empty());
  for (const char* key : {"authResult", "authMore", "uploadResult", "uploadMore"}) {
    ResponseText(answer, key);
    int32_t result = 0;
    ResponseResult(answer, key, result);
  }

  DoneFacts facts;
  facts.phase = static_cast<UploadPhase>(selector % 3);
  facts.statusCode = (selector & 0x8) ? 500 : 200;
  facts.receiving = (selector & 0x10) != 0;
  facts.stallTicks = (selector & 0x20) ? kStallTickLimit : 0;
  facts.error = (selector & 0x40) ? "Connection reset." : "";
  facts.body = body;
  const DoneDecision decision = DecideDone(facts);
  // Acceptance and "stored" are only ever read from a clean answer that carries its result key
  // with the value 0.
  if (decision.action == DoneAction::Authenticated) {
    FUZZ_CHECK(decision.result == 0);
    FUZZ_CHECK(facts.error.empty() && facts.statusCode == 200);
    FUZZ_CHECK(CarriesResultZero(body, "authResult"));
  }
  if (decision.action == DoneAction::UploadStored) {
    FUZZ_CHECK(decision.result == 0);
    FUZZ_CHECK(facts.error.empty() && facts.statusCode == 200);
    FUZZ_CHECK(CarriesResultZero(body, "uploadResult"));
  }
  const std::string oneLine = OnOneLine(body);
  FUZZ_CHECK(oneLine.size() == body.size() && oneLine.find('\n') == std::string::npos);

  const std::string realmlist = RealmlistSetting(body);
  const std::string portal = PortalSetting(body);
  FUZZ_CHECK(realmlist.find('\n') == std::string::npos);
  FUZZ_CHECK(portal.find('"') == std::string::npos);
  std::string list;
  AppendListValue(list, realmlist);
  AppendListValue(list, portal);
  return 0;
}
