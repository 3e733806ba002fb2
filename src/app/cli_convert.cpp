// skyharvester-cli convert FILE.k8...
#include <cstdio>

#include "app/cli_session.h"
#include "core/log_file.h"
#include "data/batch_conversion.h"

namespace skyh::cli {
namespace {

int RunConvert(CliContext& ctx) {
  CliOptions options(ctx.args, {}, {});
  if (!options.Ok() || options.Positional().empty()) {
    if (!options.Ok()) std::fprintf(stderr, "%s\n", options.Error().c_str());
    std::fprintf(stderr, "Usage: skyharvester-cli convert FILE.k8...\n");
    return kExitError;
  }
  LogLine("Convert %d data files\n", static_cast<int>(options.Positional().size()));
  int failed = 0;
  for (const std::string& input : options.Positional()) {
    switch (ConvertDataFile(input)) {
      case ConvertResult::kConverted:
        std::printf("%s -> %s.*\n", input.c_str(), BatchBaseName(input).c_str());
        break;
      case ConvertResult::kCannotOpen:
        std::fprintf(stderr, "Error, can't open %s\n", input.c_str());
        ++failed;
        break;
      case ConvertResult::kDamaged:  // written as far as read; the damage is reported already
        std::printf("%s -> %s.* (incomplete)\n", input.c_str(), BatchBaseName(input).c_str());
        ++failed;
        break;
      case ConvertResult::kCannotWrite:
        std::fprintf(stderr, "Error, can't write the ASCII files of %s\n", input.c_str());
        ++failed;
        break;
    }
  }
  return failed ? kExitError : kExitOk;
}

const CliCommandRegistrar registrar(
    {"convert", "convert K8 data files to ASCII files",
     "Usage: skyharvester-cli convert FILE.k8...\n\n"
     "Converts each data file to ASCII files beside it, as \"skyharvester -ASCII\n"
     "FILE\" does: one file per record layout, named after the data file in lower\n"
     "case, cut before \".k8\", followed by \".\" and the layout's name (records of\n"
     "no layout go to \".---\"). Existing files of those names are replaced. The\n"
     "layouts come from ScnList.dat in the configuration directory.\n\n"
     "Prints \"FILE -> BASE.*\" for each file converted.\n"
     "A damaged data file is converted up to the damage, which is reported on stderr\n"
     "(\"damaged at byte N: M records read, K bytes not read\").\n"
     "Exit code: 0 every file converted, 1 some file could not be read or written, or was damaged.\n",
     RunConvert, 30});

}  // namespace
}  // namespace skyh::cli
