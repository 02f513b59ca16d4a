// The man page quillon(1) and the bash and zsh completions, generated from
// the option declarations every command makes, so that --help, the page and
// the completions can never disagree. The build runs `quillon manpage` and
// `quillon completion SHELL`; users may run the latter themselves.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "options_common.h"
#include "platform/atomic_file.h"

namespace quillon::cli {
namespace {

// The commands below a command that the documentation shows (hidden ones,
// such as manpage itself, have an empty group).
std::vector<const CLI::App*> Visible(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App* s) { return !s->get_group().empty(); });
}

bool IsFlag(const CLI::Option* option) { return !option->get_positional() && option->get_type_name().empty(); }

// The fixed choices of an option: from an IsMember check ("UNIT:{px,mm}") or
// the format list.
std::vector<std::string> Choices(const CLI::Option* option) {
  std::vector<std::string> choices;
  if (option->check_lname("format")) {
    std::string names = FormatNames();
    for (size_t from = 0; from < names.size();) {
      size_t comma = names.find(", ", from);
      choices.push_back(names.substr(from, comma - from));
      from = comma == std::string::npos ? names.size() : comma + 2;
    }
    return choices;
  }
  const std::string type = option->get_type_name();
  const size_t open = type.find(":{"), close = type.rfind('}');
  if (open == std::string::npos || close == std::string::npos) return choices;
  std::string inner = type.substr(open + 2, close - open - 2);
  for (size_t from = 0; from <= inner.size();) {
    size_t comma = inner.find(',', from);
    if (comma == std::string::npos) comma = inner.size();
    choices.push_back(inner.substr(from, comma - from));
    from = comma + 1;
  }
  return choices;
}

// The value's name without the choices ("UNIT").
std::string ValueName(const CLI::Option* option) {
  std::string type = option->get_type_name();
  const size_t colon = type.find(":{");
  if (colon != std::string::npos) type.erase(colon);
  return type.empty() ? "VALUE" : type;
}

std::vector<std::string> Names(const CLI::Option* option) {
  std::vector<std::string> names;
  for (const std::string& s : option->get_snames()) names.push_back("-" + s);
  for (const std::string& l : option->get_lnames()) names.push_back("--" + l);
  return names;
}

// ---- man page ---------------------------------------------------------------

std::string Roff(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string Usage(const CLI::App& app, const std::string& path) {
  std::string usage = CLI::Formatter().make_usage(&app, path);
  if (usage.rfind("Usage: ", 0) == 0) usage.erase(0, 7);
  while (!usage.empty() && usage.back() == '\n') usage.pop_back();
  return usage;
}

void ManCommand(const CLI::App& app, const std::string& path, std::string& out) {
  out += ".SS \"" + Roff(Usage(app, path)) + "\"\n" + Roff(app.get_description()) + "\n";
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_group().empty()) continue;
    out += ".TP\n";
    if (option->get_positional()) {
      out += "\\fI" + Roff(option->get_name(true)) + "\\fR\n";
    } else {
      std::string names;
      for (const std::string& n : Names(option)) names += (names.empty() ? "" : ", ") + ("\\fB" + Roff(n) + "\\fR");
      out += names + (IsFlag(option) ? "" : " \\fI" + Roff(ValueName(option)) + "\\fR") + "\n";
    }
    out += Roff(option->get_description()) + "\n";
  }
  const std::string footer = app.get_footer();
  if (!footer.empty()) out += ".PP\n" + Roff(footer) + "\n";
  for (const CLI::App* sub : Visible(app)) ManCommand(*sub, path + " " + sub->get_name(), out);
}

std::string ManPage(const CLI::App& root) {
  std::string out = ".TH QUILLON 1 \"\" \"quillon " + std::string(VersionText()) + "\" \"User Commands\"\n";
  out += ".SH NAME\nquillon \\- convert raster line art into vector drawings\n";
  out += ".SH SYNOPSIS\n";
  for (const CLI::App* sub : Visible(root)) out += ".B quillon " + Roff(sub->get_name()) + "\n[\\fIOPTIONS\\fR]\n.br\n";
  out += ".B quillon\n\\-\\-help | \\-\\-version\n";
  out += ".SH DESCRIPTION\n" + Roff(root.get_description()) + "\n.PP\n" +
         Roff("Each command takes --help. Short options may be bundled (-qj4), values may follow an = sign "
              "(--format=svg), and -- ends the options.") +
         "\n";
  out += ".SH COMMANDS\n";
  for (const CLI::App* sub : Visible(root)) ManCommand(*sub, "quillon " + sub->get_name(), out);
  out += ".SH EXIT STATUS\n.TP\n0\ndone\n.TP\n1\nthe work failed (the message says why)\n.TP\n2\nbad usage\n"
         ".TP\n130\na batch run stopped by Ctrl\\-C\n";
  out += ".SH ENVIRONMENT\n.TP\nQUILLON_CONFIG_DIR\n" +
         Roff("The settings directory (else $XDG_CONFIG_HOME/quillon, else ~/.config/quillon); settings.json there "
              "holds the parameters, chart types, width and angle series and raster templates.") +
         "\n.TP\nQUILLON_STAGE_TIMES\n" + Roff("When 1, trace prints each stage's wall time, CPU time and peak memory, and batch when each row's "
              "conversion began, gave up its core to save and ended, and its CPU time.") + "\n";
  out += ".SH EXAMPLES\n.nf\n" +
         Roff("quillon trace scans/ -o out/ -f dxf --unit mm -j 4\n"
              "quillon trace plan.tif --median 3 --deskew --threshold auto -o plan.svg --size raster\n"
              "scanimage | quillon trace - -f pdf -o - > plan.pdf\n"
              "quillon raster plan.tif --rotate -1.5 --crop 100,100,2000,1500 -o cleaned.bmp\n"
              "quillon params --chart-type pre_Engineering --set Connect=0 --save-chart-type Plans\n"
              "quillon batch --make-job plans.trj --chart-type Plans -f svg scans/ && quillon batch plans.trj") +
         "\n.fi\n";
  out += ".SH SEE ALSO\n.BR potrace (1),\n.BR autotrace (1)\n";
  return out;
}

// ---- completions -------------------------------------------------------------

struct CommandPath {
  std::string path;  // " trace", " series width", ...
  const CLI::App* app;
};

void CollectPaths(const CLI::App& app, const std::string& path, std::vector<CommandPath>& out) {
  out.push_back({path, &app});
  for (const CLI::App* sub : Visible(app)) CollectPaths(*sub, path + " " + sub->get_name(), out);
}

std::string Join(const std::vector<std::string>& words, const std::string& separator = " ") {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : separator) + w;
  return text;
}

std::string BashCompletion(const CLI::App& root) {
  std::vector<CommandPath> paths;
  CollectPaths(root, "", paths);
  std::string known, words, values;
  for (const CommandPath& p : paths) {
    if (!p.path.empty()) known += (known.empty() ? "" : "|") + ("\"" + p.path + "\"");
    std::vector<std::string> list;
    for (const CLI::App* sub : Visible(*p.app)) list.push_back(sub->get_name());
    for (const CLI::Option* option : p.app->get_options()) {
      if (option->get_positional() || option->get_group().empty()) continue;
      for (const std::string& n : Names(option)) list.push_back(n);
      const std::vector<std::string> choices = Choices(option);
      if (!choices.empty()) {
        values += "      \"" + p.path + "\":" + Join(Names(option), "|\"" + p.path + "\":") + ") choices=\"" +
                  Join(choices) + "\" ;;\n";
      }
    }
    words += "    \"" + p.path + "\") words=\"" + Join(list) + "\" ;;\n";
  }
  std::string out = "# bash completion for quillon (generated by: quillon completion bash)\n";
  out += "_quillon() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} path=\"\" words=\"\" choices=\"\" i\n"
         "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "    case \"$path ${COMP_WORDS[i]}\" in\n"
         "      " + known + ") path=\"$path ${COMP_WORDS[i]}\" ;;\n"
         "    esac\n"
         "  done\n"
         "  case \"$path\":\"$prev\" in\n" + values +
         "  esac\n"
         "  if [[ -n $choices ]]; then COMPREPLY=($(compgen -W \"$choices\" -- \"$cur\")); return; fi\n"
         "  case \"$path\" in\n" + words +
         "  esac\n"
         "  if [[ $cur == -* || -z $path || $words != *-* || $words == [a-z]* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
         "  fi\n"
         "  if [[ ${#COMPREPLY[@]} -eq 0 && $cur != -* ]]; then\n"
         "    compopt -o filenames 2>/dev/null\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  fi\n"
         "}\n"
         "complete -F _quillon quillon\n";
  return out;
}

// Text inside a zsh option spec's [...] within single quotes.
std::string ZshText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '[') out += '(';
    else if (c == ']') out += ')';
    else if (c == ':') out += "\\:";
    else if (c == '\'') out += "'\\''";
    else if (c == '\n') out += ' ';
    else out += c;
  }
  return out;
}

std::string ZshCompletion(const CLI::App& root) {
  std::vector<CommandPath> paths;
  CollectPaths(root, "", paths);
  std::string known, cases;
  for (const CommandPath& p : paths) {
    if (!p.path.empty()) known += (known.empty() ? "" : "|") + ("\"" + p.path + "\"");
    const std::vector<const CLI::App*> subs = Visible(*p.app);
    cases += "    \"" + p.path + "\")\n";
    if (!subs.empty()) {
      cases += "      local -a commands=(\n";
      for (const CLI::App* sub : subs) cases += "        '" + sub->get_name() + ":" + ZshText(sub->get_description()) + "'\n";
      cases += "      )\n      _describe command commands ;;\n";
      continue;
    }
    cases += "      _arguments -s \\\n";
    bool repeatedFiles = false;
    for (const CLI::Option* option : p.app->get_options()) {
      if (option->get_group().empty()) continue;
      if (option->get_positional()) {
        repeatedFiles = true;
        continue;
      }
      const std::vector<std::string> choices = Choices(option);
      const std::string action = IsFlag(option) ? ""
                                 : ":" + ZshText(ValueName(option)) + ":" +
                                       (choices.empty() ? "_files" : "(" + Join(choices) + ")");
      for (const std::string& n : Names(option)) {
        cases += "        '" + std::string(option->get_expected_max() > 1 || IsFlag(option) ? "*" : "") + n + "[" +
                 ZshText(option->get_description()) + "]" + action + "' \\\n";
      }
    }
    cases += std::string(repeatedFiles ? "        '*:file:_files'" : "        ''") + " ;;\n";
  }
  std::string out = "#compdef quillon\n# zsh completion for quillon (generated by: quillon completion zsh)\n";
  out += "_quillon() {\n"
         "  local path=\"\" i\n"
         "  for ((i = 2; i < CURRENT; i++)); do\n"
         "    case \"$path ${words[i]}\" in\n"
         "      " + known + ") path=\"$path ${words[i]}\" ;;\n"
         "    esac\n"
         "  done\n"
         "  local -a parts=(${=path})\n"
         "  (( ${#parts} )) && { words=(quillon \"${(@)words[$(( ${#parts} + 2 )),-1]}\"); (( CURRENT -= ${#parts} )); }\n"
         "  case \"$path\" in\n" + cases +
         "  esac\n"
         "}\n"
         "_quillon \"$@\"\n";
  return out;
}

int Write(const std::string& text, const std::string& output) {
  if (output.empty() || output == "-") {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
      return Fail("cannot write to standard output");
    }
    return kExitOk;
  }
  if (!platform::WriteFileAtomically(output, text)) return Fail("Cannot save " + output);
  return kExitOk;
}

CommandRun SetupCompletion(CLI::App& command) {
  auto shell = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  command.add_option("SHELL", *shell, "bash or zsh")->required()->type_name("")->check(CLI::IsMember({"bash", "zsh"}));
  command.add_option("-o,--output", *output, "Write the script to FILE instead of standard output")->type_name("FILE");
  command.footer("bash: source <(quillon completion bash); zsh: quillon completion zsh > ~/.zfunc/_quillon "
                 "(a directory in $fpath).");
  return [shell, output, &command] {
    const CLI::App& root = *command.get_parent();
    return Write(*shell == "bash" ? BashCompletion(root) : ZshCompletion(root), *output);
  };
}

CommandRun SetupManPage(CLI::App& command) {
  auto output = std::make_shared<std::string>();
  command.group("");  // for the build, not for users
  command.add_option("-o,--output", *output, "Write the page to FILE")->type_name("FILE");
  return [output, &command] { return Write(ManPage(*command.get_parent()), *output); };
}

const Registration kCompletion({"completion", "Print the bash or zsh completion script", 80, SetupCompletion});
const Registration kManPage({"manpage", "Print the man page quillon(1)", 99, SetupManPage});

}  // namespace
}  // namespace quillon::cli
