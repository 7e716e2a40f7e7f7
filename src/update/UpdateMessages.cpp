#include "update/UpdateMessages.h"

#include <memory>

namespace drovane {

intptr_t MakeUpdateText(const std::string& text) {
  return reinterpret_cast<intptr_t>(new std::string(text));
}

std::string TakeUpdateText(intptr_t lParam) {
  std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
  return text ? std::move(*text) : std::string();
}

void DiscardUpdateText(intptr_t lParam) {
  delete reinterpret_cast<std::string*>(lParam);
}

bool CarriesUpdateText(unsigned message) {
  return message == UPD_FILE || message == UPD_ERROR || message == UPD_LIST_UNTRUSTED ||
         message == UPD_CLIENT_NOT_INSTALLABLE;
}

std::string ClientNotInstallableText(const std::string& folder) {
  return "A newer version of Drovane Client is available, but it cannot be installed in " +
         folder + ". Please install it with its setup program.";
}

bool IsUpdateRunEnd(unsigned message) {
  switch (message) {
    case UPD_ERROR:
    case UPD_LIST_FAILED:
    case UPD_CLIENT_FAILED:
    case UPD_FILE_FAILED:
    case UPD_NO_UPDATES:
    case UPD_COMPLETE:
    case UPD_LIST_UNTRUSTED:
    case UPD_RESTART_READY:
      return true;
    default:
      return false;
  }
}

}  // namespace drovane
