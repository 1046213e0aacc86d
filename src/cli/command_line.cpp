#include "cli/command_line.h"

#include <cstdio>
#include <cstdlib>

#include "engine/engine_values.h"
#include "platform/token_reader.h"

namespace kws::cli {
namespace {

bool contains(std::initializer_list<std::string_view> list, std::string_view item) {
  for (const std::string_view entry : list) {
    if (entry == item) return true;
  }
  return false;
}

// The first line of a help text is its usage line.
std::string_view usage_line(const Command& command) {
  const std::string_view help = command.help;
  return help.substr(0, help.find('\n'));
}

}  // namespace

std::optional<std::string> Arguments::value(std::string_view option) const {
  const auto found = values.find(option);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

std::optional<Arguments> parse_arguments(std::span<const std::string> arguments,
                                         std::initializer_list<std::string_view> flags,
                                         std::initializer_list<std::string_view> valued_options,
                                         std::string& error) {
  Arguments parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      parsed.positionals.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    if (argument == "--help" || argument == "-h") {
      parsed.help = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    if (contains(flags, name) && equals == std::string::npos) {
      parsed.flags.insert(name);
    } else if (contains(valued_options, name)) {
      if (equals != std::string::npos) {
        parsed.values[name] = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        parsed.values[name] = arguments[++i];
      } else {
        error = "option " + name + " needs a value";
        return std::nullopt;
      }
    } else {
      error = "unknown option " + argument;
      return std::nullopt;
    }
  }
  return parsed;
}

std::optional<int> integer_option(const Arguments& arguments, std::string_view option, int low, int high,
                                  int fallback) {
  const std::optional<std::string> text = arguments.value(option);
  if (!text) return fallback;
  const std::optional<long> value = parse_integer(*text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<double> decimal_option(const Arguments& arguments, std::string_view option, double low, double high,
                                     double fallback) {
  const std::optional<std::string> text = arguments.value(option);
  if (!text) return fallback;
  char* end = nullptr;
  const double value = std::strtod(text->c_str(), &end);
  if (text->empty() || end != text->c_str() + text->size() || !(value >= low && value <= high)) return std::nullopt;
  return value;
}

std::optional<double> threshold_option(const Arguments& arguments) {
  return decimal_option(arguments, "--threshold", 0.0, 1.0, kDefaultThreshold);
}

int usage_error(const Command& command, std::string_view message) {
  std::fprintf(stderr, "kws %.*s: %.*s\n%.*s\nTry 'kws %.*s --help'.\n", static_cast<int>(command.name.size()),
               command.name.data(), static_cast<int>(message.size()), message.data(),
               static_cast<int>(usage_line(command).size()), usage_line(command).data(),
               static_cast<int>(command.name.size()), command.name.data());
  return kExitUsage;
}

int print_help(const Command& command) {
  std::fwrite(command.help.data(), 1, command.help.size(), stdout);
  return kExitSuccess;
}

std::optional<Arguments> arguments_or_exit(const Command& command, std::span<const std::string> arguments,
                                           std::initializer_list<std::string_view> flags,
                                           std::initializer_list<std::string_view> valued_options,
                                           int& exit_status) {
  std::string error;
  std::optional<Arguments> parsed = parse_arguments(arguments, flags, valued_options, error);
  if (!parsed) {
    exit_status = usage_error(command, error);
    return std::nullopt;
  }
  if (parsed->help) {
    exit_status = print_help(command);
    return std::nullopt;
  }
  return parsed;
}

}  // namespace kws::cli
