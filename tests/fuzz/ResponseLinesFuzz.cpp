// What the client reads from the service's answers and from the game's settings files: the
// key and value lines of auth.php and upload.php, the decision an ended request leads to, and
// the realm list and portal lines. The first input byte picks the phase and the status.
#include "FuzzSupport.h"
#include "upload/GameConfigLines.h"
#include "upload/UploadDecisions.h"
#include "upload/UploadProtocol.h"

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const uint8_t selector = input.Byte();
  const std::string body = input.Rest();

  ResponseMap answer;
  const bool stored = ParseResponseLines(body, answer);
  FUZZ_CHECK(stored == !answer.empty());
  for (const char* key : {"authResult", "authMore", "uploadResult", "uploadMore"}) {
    ResponseText(answer, key);
    ResponseResult(answer, key);
  }

  DoneFacts facts;
  facts.phase = static_cast<UploadPhase>(selector % 3);
  facts.statusCode = (selector & 0x8) ? 500 : 200;
  facts.receiving = (selector & 0x10) != 0;
  facts.stallTicks = (selector & 0x20) ? kStallTickLimit : 0;
  facts.error = (selector & 0x40) ? "Connection reset." : "";
  facts.body = body;
  const DoneDecision decision = DecideDone(facts);
  if (decision.action == DoneAction::Authenticated) FUZZ_CHECK(decision.result == 0);
  if (decision.action == DoneAction::UploadStored) FUZZ_CHECK(decision.result == 0);
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
