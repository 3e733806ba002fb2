#include "core/power_request.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>

#include "core/log_file.h"

extern char** environ;

namespace skyh {

bool PowerRequest::Set(bool keepAwake) {
  if (child > 0) {
    // The inhibitor may have ended by itself (login manager restarted).
    int status;
    if (waitpid(child, &status, WNOHANG) == child) child = -1;
  }
  if (keepAwake == (child > 0)) return true;
  if (!keepAwake) {
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    child = -1;
    return true;
  }
  char arg0[] = "systemd-inhibit";
  char what[] = "--what=sleep:idle";
  char who[] = "--who=SkyHarvester";
  char why[] = "--why=Automatic retrieval";
  char mode[] = "--mode=block";
  char sleepCmd[] = "sleep";
  char forever[] = "infinity";
  char* argv[] = {arg0, what, who, why, mode, sleepCmd, forever, nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawnp(&pid, arg0, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    LogLine("Can't keep the computer awake: systemd-inhibit not available\n");
    return false;
  }
  child = pid;
  return true;
}

}  // namespace skyh
