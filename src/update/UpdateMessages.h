#pragma once
// The window messages by which a self-update run reports to its window (the updater window, or
// the main window for the background update). The numbers are fixed.
// Pure: no Windows headers (an LPARAM is an intptr_t).
#include <cstdint>
#include <string>

namespace drovane {

enum UpdateMessage : unsigned {
  UPD_CHECKING = 2025,       // the list request is being sent
  UPD_CLIENT = 2026,         // the client download is connecting
  UPD_FILE = 2027,           // a file download is connecting; lParam: owned text (below)
  UPD_RECEIVING = 2028,      // a response is being received; lParam: the HttpClient
  UPD_TRANSFER_END = 2029,   // the exchange ended
  UPD_ERROR = 2030,          // the exchange failed, the run stops; wParam: 1 when the service
                             // was never reached (no connection), else 0; lParam: owned text
                             // (below)
  UPD_RECEIVED = 2031,       // the exchange ended without a transport error; wParam: the size of
                             // the response's content, lParam: the HttpClient
  UPD_LIST_FAILED = 2032,    // the list could not be processed
  UPD_CLIENT_FAILED = 2033,  // the client could not be replaced
  UPD_FILE_FAILED = 2034,    // a file could not be stored or its download could not be started
  UPD_FINISHED = 2035,       // the run reached Finished
  UPD_NO_UPDATES = 2036,     // follows UPD_FINISHED when no file was updated
  UPD_COMPLETE = 2037,       // follows UPD_FINISHED; wParam: the number of files updated
  UPD_LIST_UNTRUSTED = 2038, // the list is not one the service signed; the run stops, nothing
                             // was written; lParam: owned text (below), the reason
  UPD_RESTART_READY = 2039,  // the new client is in place and its restart is left to the owner
                             // (SelfUpdate::restartByOwner); the owner calls Restart
  UPD_CLIENT_NOT_INSTALLABLE = 2040,  // a newer client is published but this copy cannot
                                      // replace itself; the run goes on with the files;
                                      // lParam: owned text (below), what to tell the player
};
constexpr unsigned kFirstUpdateMessage = UPD_CHECKING;
constexpr unsigned kLastUpdateMessage = UPD_CLIENT_NOT_INSTALLABLE;

// UPD_FILE ("Updating " + file name + "..."), UPD_ERROR (the client's error text),
// UPD_LIST_UNTRUSTED (why the list is refused) and UPD_CLIENT_NOT_INSTALLABLE are posted,
// never sent: the network thread must not wait for a window thread that may be destroying the
// run. Their lParam is therefore a text owned by the message. The window takes it over with
// TakeUpdateText exactly once, for every such message it receives; a message that is
// never delivered (its window was destroyed) leaves its text behind until the process ends.
intptr_t MakeUpdateText(const std::string& text);
std::string TakeUpdateText(intptr_t lParam);

// What the player is told when a newer client is published and this copy, in a folder it may
// not write, cannot replace itself.
std::string ClientNotInstallableText(const std::string& folder);
// Frees a text whose message could not be posted.
void DiscardUpdateText(intptr_t lParam);

// True for the messages whose lParam is an owned text.
bool CarriesUpdateText(unsigned message);

// True for the messages after which no other message of the run follows (unless the owner
// starts it again).
bool IsUpdateRunEnd(unsigned message);

}  // namespace drovane
