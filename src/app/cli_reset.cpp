// skyharvester-cli reset
#include "app/cli_link.h"
#include "app/cli_session.h"

namespace skyh::cli {
namespace {

const char kUsage[] = "Usage: skyharvester-cli reset [--yes] [link options]\n";

int RunReset(CliContext& ctx) {
  return RunBoardCommand(ctx, kUsage, "Do you want to reset the Photometer control box?", &CCom::ResetBoard,
                         "Reset board success", "Reset board error");
}

const std::string& Help() {
  static const std::string text = std::string(kUsage) +
                                  "\nRestarts the control box. Asks \"Do you want to reset the Photometer control\n"
                                  "box?\" first; without a terminal to ask on, give --yes.\n\n"
                                  "Options:\n"
                                  "  --yes                    do not ask\n" +
                                  LinkOptionsHelp() +
                                  "\nPrints \"Reset board success\" or \"Reset board error\".\n"
                                  "Exit code: 0 success, 1 error, 2 not confirmed.\n";
  return text;
}

const CliCommandRegistrar registrar({"reset", "reset the control box", Help().c_str(), RunReset, 60});

}  // namespace
}  // namespace skyh::cli
