#include "app/cli_options.h"

namespace skyh::cli {

CliOptions::CliOptions(const std::vector<std::string>& args, const std::set<std::string>& withValue,
                       const std::set<std::string>& flags) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
      positional.push_back(a);
      continue;
    }
    std::string name = a.substr(2), value;
    bool inlineValue = false;
    if (size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    if (withValue.count(name)) {
      if (!inlineValue) {
        if (i + 1 >= args.size()) {
          if (error.empty()) error = "--" + name + " needs a value";
          continue;
        }
        value = args[++i];
      }
      values[name] = value;
    } else if (flags.count(name) && !inlineValue) {
      values[name] = std::string("1");  // assigning the literal trips a false -Wrestrict in GCC 12
    } else if (error.empty()) {
      error = "unknown option --" + name;
    }
  }
}

std::string CliOptions::Value(const std::string& name, const std::string& def) const {
  auto it = values.find(name);
  return it == values.end() ? def : it->second;
}

}  // namespace skyh::cli
