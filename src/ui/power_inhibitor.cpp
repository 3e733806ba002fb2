#include "ui/power_inhibitor.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include "core/log_file.h"

namespace skyh::ui {

void PowerInhibitor::Set(bool keepAwake) {
  if (!keepAwake) {
    fd_ = QDBusUnixFileDescriptor();  // closing our copy ends the inhibitor
    return;
  }
  if (Held()) return;
  QDBusConnection bus = QDBusConnection::systemBus();
  QString problem;
  if (!bus.isConnected()) {
    problem = "no system bus";
  } else {
    QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", bus);
    QDBusReply<QDBusUnixFileDescriptor> reply =
        manager.call("Inhibit", "sleep:idle", "SkyHarvester", "Automatic retrieval is enabled", "block");
    if (reply.isValid()) fd_ = reply.value();
    else problem = reply.error().message();
  }
  if (!problem.isEmpty() && !failureLogged_) {
    failureLogged_ = true;
    LogLine("Cannot keep the computer awake: %s\n", problem.toStdString());
  }
}

}  // namespace skyh::ui
