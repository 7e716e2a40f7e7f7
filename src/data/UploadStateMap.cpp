#include "data/UploadStateMap.h"

namespace drovane {

UploadStateMap& UploadStates() {
  static UploadStateMap states;
  return states;
}

}  // namespace drovane
