#include "app/cli_options.h"

#include <utility>

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
      values.insert_or_assign(name, std::string("1"));
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

namespace skyh::cli {

bool TakeGlobalOption(std::vector<std::string>& args, const std::string& name, std::optional<std::string>& value,
                      std::string& error) {
  const std::string flag = "--" + name, inlined = flag + "=";
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].compare(0, inlined.size(), inlined) == 0) {
      value = args[i].substr(inlined.size());
    } else if (args[i] != flag) {
      rest.push_back(args[i]);
      continue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      value.reset();
    }
    if (!value || value->empty()) {
      error = flag + " needs a value";
      return false;
    }
  }
  args = std::move(rest);
  return true;
}

}  // namespace skyh::cli
