// check: whether WAV files are well formed and their broadcast extension keeps the rules an
// archive adopted, each finding with a stable code, a severity, an offset and a sentence.
#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "check/Conformance.h"
#include "check/Policy.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/FileScan.h"
#include "cli/JsonWriter.h"
#include "cli/Paths.h"
#include "cli/Text.h"

namespace bextkit::cli {

namespace {

struct Options : PathOptions {
  std::string rules = "tech3285";
  bool json = false;
  bool verbose = false;
  std::vector<std::string> ignore, severity;
  bool listRules = false;
};

// The rules, as a table of text or as JSON Lines.
void listRules(Context& ctx, bool json) {
  for (const check::Rule& rule : check::rules()) {
    if (json) {
      JsonWriter j;
      j.beginObject().key("code").string(std::string(rule.code));
      j.key("severity").string(std::string(rule.severity));
      j.key("rules").string(std::string(rule.ruleSet));
      j.key("source").string(std::string(rule.source));
      j.key("example").string(std::string(rule.example));
      ctx.out << j.endObject().text() << '\n';
      continue;
    }
    char line[96];
    std::snprintf(line, sizeof line, "%-30s %-17s %-9s ", std::string(rule.code).c_str(),
                  std::string(rule.severity).c_str(), std::string(rule.ruleSet).c_str());
    ctx.out << line << rule.source << "; for example: " << rule.example << '\n';
  }
}

// The house rules of each folder the files lie in: the user's own, then the nearest
// .bextkit-check above the folder, then the options of this run, each over the one before; none,
// with the reason in `broken`, where a rules file cannot be read. Each folder is looked up once.
struct HouseRules {
  std::optional<check::Policy> policy;
  std::string broken;
};
std::string folderOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}
std::map<std::string, HouseRules> houseRulesOf(const std::vector<std::string>& files,
                                               const check::Policy& user,
                                               const check::Policy& given) {
  std::map<std::string, HouseRules> byFolder;
  for (const std::string& path : files) {
    auto [at, added] = byFolder.try_emplace(folderOf(path));
    if (!added) continue;
    check::Policy policy = user;
    if (const std::optional<std::string> rules = check::policyFileFor(path)) {
      check::Policy folder;
      if (!check::readPolicyFile(*rules, folder, at->second.broken)) continue;
      policy.add(folder);
    }
    policy.add(given);
    at->second.policy = std::move(policy);
  }
  return byFolder;
}

void run(Context& ctx, const Options& o) {
  if (o.listRules) return listRules(ctx, o.json);
  if (o.paths.empty()) return ctx.usageError("FILE is required");
  std::string error;
  const std::optional<unsigned> sets = check::parseRuleSets(o.rules, error);
  if (!sets) return ctx.usageError("--rules: " + error);
  check::Policy user, given;
  for (const std::string& codes : o.ignore) {
    if (!given.ignore(codes, error)) return ctx.usageError("--ignore: " + error);
  }
  for (const std::string& weighting : o.severity) {
    if (!given.weigh(weighting, error)) return ctx.usageError("--severity: " + error);
  }
  if (const std::string rules = check::userPolicyFile();
      std::filesystem::exists(rules) && !check::readPolicyFile(rules, user, error)) {
    return ctx.usageError(error);
  }
  const PathList list = expandPaths(o);
  reportPathList(ctx, list);
  const std::map<std::string, HouseRules> houseRules = houseRulesOf(list.files, user, given);
  const ScanMessages messages(o.verbose, ctx.err);
  std::atomic<size_t> withErrors{0}, unreadable{0};
  const Spread spread = o.verbose ? Spread::kOneAtATime : Spread::kReadsInFlight;
  runBatch(ctx, list, spread, "checked", [&](const BatchFile& file) {
    const std::string& path = file.path;
    FileOutput output;
    check::Findings findings;
    std::string why;
    const HouseRules& rules = houseRules.at(folderOf(path));
    const bool read = rules.policy && check::checkFile(path, *sets, findings, why, file.listed);
    if (!rules.policy) why = "its house rules: " + rules.broken;
    if (read) rules.policy->applyTo(findings);
    const size_t errors = countOf(findings, check::Severity::kError);
    if (!read) ++unreadable;
    if (errors > 0) ++withErrors;
    output.failed = !read || errors > 0;
    if (o.json) {
      // Written as show --json writes: the file name byte for byte, the texts as UTF-8.
      JsonWriter j;
      j.beginObject().key("file").fileName(path);
      if (!read) {
        j.key("error").displayString(why);
      } else {
        j.key("errors").number(errors);
        j.key("warnings").number(countOf(findings, check::Severity::kWarning));
        j.key("notes").number(countOf(findings, check::Severity::kNote));
        j.key("findings").beginArray();
        for (const check::Finding& f : findings) {
          j.beginObject().key("code").string(f.code);
          j.key("severity").string(check::severityName(f.severity));
          j.key("offset").number(f.offset).key("text").displayString(f.text).endObject();
        }
        j.endArray();
      }
      output.out = j.endObject().takeLine();
      return output;
    }
    const std::string name = displayName(path);
    if (!read) {
      output.err = failureLine(name, why);
      return output;
    }
    if (findings.empty()) output.out = name + ": OK\n";
    for (const check::Finding& f : findings) {
      output.out += name + ':' + std::to_string(f.offset) + ": " + check::severityName(f.severity) +
                    " [" + f.code + "] " + displayUtf8(f.text) + '\n';
    }
    return output;
  });
  if (!o.json && list.files.size() > 1) {
    ctx.out << list.files.size() << " files checked: " << withErrors << " with errors"
            << (unreadable ? ", " + std::to_string(unreadable) + " unreadable" : "") << '\n';
  }
}

}  // namespace

void addCheckCommand(CLI::App& app, Context& context) {
  auto options = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* command = app.add_subcommand(
      "check",
      "Whether WAV files are well formed and their broadcast extension keeps the rules of EBU "
      "Tech 3285, R98, R99 or FADGI; exit status 1 when any file has an error");
  addPathOptions(command, *options, "WAV files");
  command
      ->add_option("--rules", options->rules,
                   "The field rule sets, comma-separated: tech3285 (the fields' forms and "
                   "ranges), r98 (coding history lines), r99 (originator reference), fadgi")
      ->type_name("LIST")
      ->default_str("tech3285");
  command->add_flag("--json", options->json,
                    "One JSON object per file on one line: file, errors, warnings, notes, "
                    "findings (code, severity, offset, text), or error");
  command
      ->add_option("--ignore", options->ignore,
                   "Codes whose findings are not reported, comma-separated (also 'ignore CODE' "
                   "in a .bextkit-check file in the files' folder or above, or in "
                   "~/.config/bextkit/check)")
      ->type_name("CODE[,CODE]")
      ->allow_extra_args(false);  // one value each time: the files follow
  command
      ->add_option("--severity", options->severity,
                   "A code's findings at another severity, such as umid-label=note (also "
                   "'severity CODE=LEVEL' in a .bextkit-check file); the exit status follows it")
      ->type_name("CODE=LEVEL")
      ->allow_extra_args(false);
  command->add_flag("--verbose", options->verbose, "Also print the scan's progress messages");
  command->add_flag("--list-rules", options->listRules,
                    "Print every rule instead: its code, severity, rule set, source and an "
                    "example (with --json, one object per rule)");
  // FILE is asked for by run, so that --list-rules needs none.
  command->get_option("FILE")->required(false);
  command->callback([options, ctx] { run(*ctx, *options); });
}

}  // namespace bextkit::cli
