#pragma once
// The client's fixed identity.
namespace drovane {

constexpr char kClientName[] = "Drovane Client";  // window titles, message box caption, mutex
constexpr char kClientVersion[] = "1.9.01";
constexpr char kUserAgent[] = "DrovaneClient/1.9.01";

}  // namespace drovane
