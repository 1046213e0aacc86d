// Argument parsing and shared plumbing of the kws subcommands.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kws::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// One subcommand: its name, one-line summary, full --help text and entry point.
struct Command {
  std::string_view name;
  std::string_view summary;
  std::string_view help;
  int (*run)(std::span<const std::string> arguments);
};

// The parsed arguments of one subcommand.
struct Arguments {
  bool help = false;
  std::set<std::string, std::less<>> flags;
  std::map<std::string, std::string, std::less<>> values;
  std::vector<std::string> positionals;

  bool has(std::string_view flag) const { return flags.contains(flag); }
  std::optional<std::string> value(std::string_view option) const;
};

// Splits arguments into the command's known flags (no value), valued options
// ("--data DIR" or "--data=DIR") and positionals ("--" ends the options).
// Returns nullopt and sets error for an unknown option or a missing value.
std::optional<Arguments> parse_arguments(std::span<const std::string> arguments,
                                         std::initializer_list<std::string_view> flags,
                                         std::initializer_list<std::string_view> valued_options,
                                         std::string& error);

// The value of a numeric option within [low, high], or fallback when the
// option is absent; nullopt when it is not a whole number in that range.
std::optional<int> integer_option(const Arguments& arguments, std::string_view option, int low, int high,
                                  int fallback);

// The value of a decimal option within [low, high], or fallback when the
// option is absent; nullopt when it is not a number in that range.
std::optional<double> decimal_option(const Arguments& arguments, std::string_view option, double low, double high,
                                     double fallback);

// --threshold V: the decision threshold on a result's mean confidence,
// 0..1, the station's 0.39 by default; nullopt after a usage error.
std::optional<double> threshold_option(const Arguments& arguments);

// Prints "kws <name>: <message>" and the usage line on standard error; returns kExitUsage.
int usage_error(const Command& command, std::string_view message);

// Prints the command's help on standard output; returns kExitSuccess.
int print_help(const Command& command);

// Parses, handles --help and usage errors in one step: returns the arguments,
// or nullopt with exit_status set to what the command should return.
std::optional<Arguments> arguments_or_exit(const Command& command, std::span<const std::string> arguments,
                                           std::initializer_list<std::string_view> flags,
                                           std::initializer_list<std::string_view> valued_options,
                                           int& exit_status);

// The subcommands.
extern const Command kSyllablesCommand;
extern const Command kDecomposeCommand;
extern const Command kFeaturesCommand;
extern const Command kCheckDataCommand;
extern const Command kSpotCommand;
extern const Command kVocabCommand;
extern const Command kLatticeCommand;
extern const Command kBatchCommand;
extern const Command kEvaluateCommand;
extern const Command kListenCommand;
extern const Command kDevicesCommand;

}  // namespace kws::cli
