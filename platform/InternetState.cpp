#include "platform/InternetState.h"

#include <QNetworkInformation>
#include <QNetworkInterface>

namespace InternetState {
namespace {
std::optional<bool>& Forced() {
  static std::optional<bool> forced;
  return forced;
}

bool AnyNonLoopbackInterfaceUp() {
  const auto interfaces = QNetworkInterface::allInterfaces();
  for (const QNetworkInterface& iface : interfaces) {
    const auto flags = iface.flags();
    if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning) &&
        !flags.testFlag(QNetworkInterface::IsLoopBack))
      return true;
  }
  return false;
}
}  // namespace

void SetForTesting(std::optional<bool> forced) { Forced() = forced; }

bool IsConnected() {
  if (Forced()) return *Forced();
  const QByteArray env = qgetenv("V770_INTERNET");
  if (env == "1") return true;
  if (env == "0") return false;
  if (QNetworkInformation::loadDefaultBackend()) {
    if (QNetworkInformation* info = QNetworkInformation::instance()) {
      const auto reachability = info->reachability();
      if (reachability != QNetworkInformation::Reachability::Unknown)
        return reachability == QNetworkInformation::Reachability::Online;
    }
  }
  return AnyNonLoopbackInterfaceUp();
}

}  // namespace InternetState
