// skyharvester-cli clear-flash
#include "app/cli_link.h"
#include "app/cli_session.h"

namespace skyh::cli {
namespace {

const char kUsage[] = "Usage: skyharvester-cli clear-flash [--yes] [link options]\n";

int RunClearFlash(CliContext& ctx) {
  return RunBoardCommand(ctx, kUsage, "Do you want to clear the internal flash memory?", &CCom::ClearFlash,
                         "Clear flash memory success", "Clear flash memory error");
}

const std::string& Help() {
  static const std::string text =
      std::string(kUsage) +
      "\nErases every record stored in the control box (its settings stay). Asks\n"
      "\"Do you want to clear the internal flash memory?\" first; without a terminal\n"
      "to ask on, give --yes. Retrieve the records before.\n\n"
      "Options:\n"
      "  --yes                    do not ask\n" +
      LinkOptionsHelp() +
      "\nPrints \"Clear flash memory success\" or \"Clear flash memory error\".\n"
      "Exit code: 0 success, 1 error, 2 not confirmed.\n";
  return text;
}

const CliCommandRegistrar registrar({"clear-flash", "erase the records in the control box", Help().c_str(),
                                     RunClearFlash, 65});

}  // namespace
}  // namespace skyh::cli
