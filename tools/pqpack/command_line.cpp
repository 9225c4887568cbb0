// The one command-line parser of pqpack (CLI11): every command's options and help, and one
// line plus a hint for a usage mistake instead of the whole help text.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "build_command.h"
#include "installer_image.h"
#include "commands.h"
#include "console_text.h"
#include "data_file.h"
#include "decoder_results.h"
#include "default_inputs.h"
#include "findings.h"
#include "program_version.h"

namespace pqpack {

namespace {

const char kProgramDescription[] = "pqpack builds Panoquill installers, inspects them, and runs the implode codec.";

const char kExitStatusHelp[] =
    "Exit status: 0 done, 1 failed (the message says why), 2 usage error (an unknown option, a\n"
    "missing or malformed argument). explode exits with the decoder's result instead (see\n"
    "pqpack explode --help).";

std::string buildFooter() {
  const std::string library = kLibraryFileName;
  return "Writes an installer to OUT: the installer program padded to " + std::to_string(DIRECTORY_OFFSET) +
         " bytes, the directory\n"
         "table, then entries 1 to 5.\n"
         "  entry 1     the compression library, stored as " + kLibraryEntryName + " (lands as " + library + ")\n"
         "  entry 2     MAIN, the screen saver (.scr: a screen-saver installer) or the movie\n"
         "  entry 3     DATA, the data file (its " + std::to_string(kDataFileHeaderSize) +
         "-byte header holds the QuickTime level; see\n"
         "              pqpack ssd)\n"
         "  entry 4, 5  the support libraries LIB, stored under .dat names (foo.dll as foo.dat)\n"
         "An installer always has five entries. With fewer than two LIBs, each free slot holds the\n"
         "compression library again: it lands on the same " + library + ", and un-installing leaves it.\n"
         "MAIN and the LIBs are compressed, DATA only with --compress-data; an entry that does not\n"
         "get smaller is stored. Each entry in turn is compressed with --threads threads, and the\n"
         "installer is the same byte for byte whatever that says. --stub and --library default to\n"
         "pqsetup.exe and " + library + " found beside pqpack, in " + kInstalledWindowsFiles + "/\n"
         "beside pqpack's folder (where an installed pqpack has them), or in dist/win32/. OUT is\n"
         "replaced whole, or left as it was on failure or interruption (Ctrl-C, SIGTERM): no\n"
         "temporary file stays, and a signing osslsigncode is stopped.\n"
         "Done, build prints a summary on standard output: the mode, each entry's size, stored size\n"
         "and ratio, the totals and the signer (-q: none). On a terminal, a build that takes more\n"
         "than a second shows its progress on one line of standard error; in a pipe or a file, never.\n"
         "With --sign-cert and --sign-key, osslsigncode signs the installer (Authenticode, SHA-256):\n"
         "the signature follows entry 5, where the installer never reads, and covers every byte but\n"
         "the PE checksum field and the header entry that points at the signature (which verify\n"
         "checks by the layout), so Windows names the author and pqpack verify sees any other byte\n"
         "changed since (pqpack verify --help says how). The password of an encrypted key is the\n"
         "first line of --sign-pass-file; without one, osslsigncode asks on the terminal, and with\n"
         "no terminal on standard input (CI) build refuses at once.";
}

const char kListFooter[] =
    "Shows the installer's mode (screen saver or movie, from entry 2's extension), the program's\n"
    "version information when it has any (product name and file version), the QuickTime level\n"
    "the data file asks for, the signer's subject or \"unsigned\", and the six directory entries:\n"
    "index, kind, stored or compressed, first and last stored byte, stored and expanded sizes,\n"
    "and name. Control characters in names are shown as \\xNN. With --json: one object with\n"
    "\"schemaVersion\", \"file\", \"mode\", \"size\", \"quickTimeLevel\" (or null when the\n"
    "data file's header cannot be read), \"program\" (\"productName\" and \"fileVersion\", or\n"
    "null), \"signed\", \"signer\" (or null) and \"entries\" (\"index\", \"name\", \"kind\",\n"
    "\"compressed\", \"start\", \"stop\", \"storedSize\", \"expandedSize\"); names in UTF-8, numbers\n"
    "as numbers.";

const char kVerifyFooterStart[] =
    "Checks the directory table and every entry by the rules build keeps: entry 0 as produced,\n"
    "entries 1 to 5 placed one after the other from the end of the table to the end of the file,\n"
    "each with at least one byte and a known kind, entry 1 the stored compression library, entry\n"
    "3 the data file, the sizes, and that each compressed entry starts 00 06 and expands to\n"
    "exactly its expanded size; that the program is pqsetup.exe (and large-address-aware, or a\n"
    "warning says so), that the compression library, a screen saver, the support libraries and\n"
    "the data file will work on the user's machine, and that every name can be written there\n"
    "without replacing a file of Windows, of the installer or of another entry. A signed\n"
    "installer has one certificate table right after entry 5 (after zeros up to an 8-byte\n"
    "boundary) to the end of the file, holding one Authenticode signature, which is checked here,\n"
    "whatever its chain: its header and zero padding, the signer's signature over the signed\n"
    "attributes with the certificate in the table, their digest of the signed content, that\n"
    "content's digest of every byte of the file but the PE checksum field and the table, and each\n"
    "certificate of the chain by its issuer's key. Not checked: certificates the chain does not\n"
    "use and a timestamp's own signature. A chain that ends at a root this machine does not trust\n"
    "(a self-signed certificate) is a warning; a broken or incomplete one is a problem. Prints\n"
    "one line per problem, then one per warning; the exit status is 0 only when there is no\n"
    "problem. With --json: one object with \"schemaVersion\", \"file\", \"ok\", \"problems\" and\n"
    "\"warnings\" (arrays of objects: \"code\", \"entry\" (0 to 5, or null for the whole file) and\n"
    "\"message\"), \"signed\" and \"signer\". The codes stay as they are:\n";

// The codes, as many to a line as fit in 92 columns.
std::string verifyFooter() {
  std::string text = kVerifyFooterStart;
  std::string line = " ";
  for (int code = 0; code < static_cast<int>(FindingCode::Count); ++code) {
    const std::string name = std::string(" ") + findingCodeName(static_cast<FindingCode>(code));
    if (line.size() + name.size() > 92) {
      text += line + "\n";
      line = " ";
    }
    line += name;
  }
  return text + line;
}

const char kExtractFooter[] =
    "Writes entries 1 to 5 into DIR (created if missing) under their stored names, expanding\n"
    "compressed entries; an existing file of the same name is replaced. An entry verify finds a\n"
    "problem with, or every entry when the program or the signature has one, is refused and\n"
    "nothing is written for it; the problems are printed, and the exit status is 1. Nothing is\n"
    "ever written outside DIR.";

std::string ssdFooter() {
  const auto text = [](int value) { return std::to_string(value); };
  const std::string header = text(kDataFileHeaderSize);
  return "Writes OUT: a " + header + "-byte header, then the bytes of CONTENT. The installer reads the signed\n"
         "32-bit level N at offset " + text(kDataFileLevelOffset) +
         " and requires that QuickTime level when N is above 0 (" + text(kQuickTimeLevel_2) + ": QTim32.dll,\n" +
         text(kQuickTimeLevel_3) + ": QuickTime.qts); N above " + text(kHighestInstalledQuickTimeLevel) +
         " is refused, as no installation could succeed.\nThe rest of the header: \"" +
         std::string(kDataFileMagic, sizeof kDataFileMagic - 1) + "\\0\" at " + text(kDataFileMagicOffset) +
         ", version " + text(kDataFileVersion) + " at " + text(kDataFileVersionOffset) + ", header size " + header +
         " at " + text(kDataFileHeaderSizeOffset) + ", content\nlength (64-bit) at " +
         text(kDataFileContentLengthOffset) + ", CRC-32 of the content at " + text(kDataFileContentCrcOffset) +
         ", zeros to " + header + "; all integers little-endian.";
}

const char kImplodeFooter[] =
    "Compresses IN into OUT as one raw implode stream: a two-byte header, then the bit stream\n"
    "ending with the end code. The stream is the same byte for byte whatever --threads says.";

std::string explodeFooter() {
  std::string text =
      "Expands the raw implode stream in IN into OUT. OUT receives everything the decoder\n"
      "delivered, also when the stream is cut short. The exit status is the decoder's result:\n";
  for (uint32_t result = 0; result <= kLastDecoderResult; ++result) {
    text += "  " + std::to_string(result) + " " + decoderResultText(result) + "\n";
  }
  text += "and before decoding " + std::to_string(kExplodeExit_Usage) + " for a usage error, " +
          std::to_string(kExplodeExit_NoInput) + " for an unreadable IN, " + std::to_string(kExplodeExit_CannotWrite) +
          " when OUT cannot be written.";
  return text;
}

// More threads than this is a typing mistake, not a machine.
constexpr unsigned kMostThreads = 1024;

pq::ImplodeLevel levelNamed(const std::string& name) {
  return name == "fast" ? pq::ImplodeLevel::Fast : pq::ImplodeLevel::Best;
}

// Every command's options, bound to the request it fills, and the status of the one that ran.
class CommandLine {
public:
  CommandLine() : app(kProgramDescription, "pqpack") {
    auto formatter = std::make_shared<CLI::Formatter>();
    formatter->column_width(28);
    formatter->label("SUBCOMMAND", "COMMAND");
    app.formatter(formatter);
    app.set_version_flag("--version", std::string("pqpack ") + projectVersion() + " (" + buildType() + " build)");
    app.require_subcommand(1);
    // An option given twice counts with its last value, as in most Unix tools.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.footer(std::string("pqpack COMMAND --help shows one command's options.\n\n") + kExitStatusHelp);
    addBuild();
    addList();
    addVerify();
    addExtract();
    addSsd();
    addImplode();
    addExplode();
  }

  int run(const Args& arguments) {
    const std::string command = !arguments.empty() && arguments[0].rfind("-", 0) != 0 ? arguments[0] : "";
    const int usageStatus = command == "explode" ? kExplodeExit_Usage : kExit_Usage;
    if (!command.empty() && !isCommand(command)) {
      return usageError("pqpack", "unknown command '" + command + "'", kExit_Usage);
    }
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
      app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      std::fputs(app.help().c_str(), stdout);
      return kExit_Done;
    } catch (const CLI::CallForVersion& version) {
      std::printf("%s\n", version.what());
      return kExit_Done;
    } catch (const CLI::ParseError& error) {
      const std::string where = command.empty() ? "pqpack" : "pqpack " + command;
      std::string message = error.what();
      if (message == "A subcommand is required") message = "a command is required";
      const std::string unexpected = unexpectedArgument(command);
      if (!unexpected.empty()) message = unexpected;
      return usageError(where, message, usageStatus);
    }
    return status;
  }

private:
  bool isCommand(const std::string& name) {
    const auto commands = app.get_subcommands([&](CLI::App* command) { return command->get_name() == name; });
    return !commands.empty();
  }

  // An argument the command does not know is what the author got wrong, whatever else is
  // missing besides (a mistyped option leaves its value missing too), so it is named first.
  // Empty when every argument was taken.
  std::string unexpectedArgument(const std::string& command) {
    if (command.empty() || !isCommand(command)) return "";
    const std::vector<std::string> left = app.get_subcommand(command)->remaining();
    if (left.empty()) return "";
    const std::string& first = left.front();
    if (first.size() > 1 && first[0] == '-') return "unknown option '" + first + "'";
    return "the argument '" + first + "' was not expected";
  }

  static int usageError(const std::string& where, const std::string& message, int usageStatus) {
    printLine(stderr, where + ": " + message);
    printLine(stderr, "Run '" + where + " --help' for more information.");
    return usageStatus;
  }

  CLI::App* addCommand(const char* name, const char* description) {
    CLI::App* command = app.add_subcommand(name, description);
    command->group("Commands");
    return command;
  }

  // A file named on the command line by its place, shown in the help by its name alone.
  static CLI::Option* addFile(CLI::App* command, const char* name, std::string* path, const char* description) {
    return command->add_option(name, *path, description)->required()->type_name("");
  }

  // --threads N: 0, the default, stands for every core, as in xz and zstd.
  static CLI::Option* addThreads(CLI::App* command, unsigned* threads) {
    return command->add_option("--threads", *threads, "compress with N threads (0, the default: every core)")
        ->check(CLI::Range(0u, kMostThreads).description(""))
        ->type_name("N");
  }

  // fast or best, with no list of choices appended to the type in the help.
  CLI::Option* addLevel(CLI::App* command, std::string* level, const char* help) {
    return command->add_option("--level", *level, help)
        ->check(CLI::IsMember({"fast", "best"}).description(""))
        ->type_name("fast|best");
  }

  void addBuild() {
    CLI::App* command = addCommand("build", "build an installer from a saver or movie and its data file");
    command->footer(buildFooter());
    command->add_option("-o,--output", build.output, "the installer to write")->required()->type_name("OUT");
    command->add_option("--stub", build.stub, "the installer program (default: pqsetup.exe, see below)")
        ->type_name("EXE");
    command->add_option("--library", build.library, "the compression library (default: impborl.dll)")
        ->type_name("DLL");
    addLevel(command, &buildLevel, "how hard MAIN and the LIBs are compressed (default best)");
    addThreads(command, &build.threads);
    command->add_flag("--compress-data", build.compressData, "compress DATA too (stored by default)");
    command->add_flag("-q,--quiet", build.quiet, "print no summary and no progress, only warnings and errors");
    CLI::Option* certificate =
        command->add_option("--sign-cert", build.signing.certificate, "sign with this certificate (and its chain)")
            ->type_name("PEM");
    CLI::Option* key = command->add_option("--sign-key", build.signing.key, "the certificate's private key")
                           ->type_name("PEM");
    certificate->needs(key);
    key->needs(certificate);
    command->add_option("--sign-pass-file", build.signing.passwordFile, "the key's password, on the file's first line")
        ->type_name("FILE")
        ->needs(certificate);
    command->add_option("--timestamp", build.signing.timestampUrl, "have the signature timestamped (RFC 3161)")
        ->type_name("URL")
        ->needs(certificate);
    addFile(command, "MAIN", &build.mainFile, "the screen saver (.scr) or the movie");
    addFile(command, "DATA", &build.dataFile, "the data file (pqpack ssd makes one)");
    command->add_option("LIB", build.libraries, "up to two support libraries")->type_name("");
    command->callback([this] {
      if (build.libraries.size() > kMaximumSupportLibraries) {
        throw CLI::ValidationError("at most two support libraries fit (entries 4 and 5), " +
                                   std::to_string(build.libraries.size()) + " given");
      }
      build.level = levelNamed(buildLevel);
      status = runBuild(build);
    });
  }

  void addList() {
    CLI::App* command = addCommand("list", "show an installer's mode, program and directory entries");
    command->footer(kListFooter);
    addFile(command, "INSTALLER", &list.installer, "the installer");
    command->add_flag("--json", list.json, "print the listing as one JSON object");
    command->callback([this] { status = runList(list); });
  }

  void addVerify() {
    CLI::App* command = addCommand("verify", "check an installer's layout and entries");
    command->footer(verifyFooter());
    addFile(command, "INSTALLER", &verify.installer, "the installer");
    command->add_flag("--json", verify.json, "print the findings as one JSON object");
    command->callback([this] { status = runVerify(verify); });
  }

  void addExtract() {
    CLI::App* command = addCommand("extract", "write an installer's entries 1 to 5 into a folder");
    command->footer(kExtractFooter);
    addFile(command, "INSTALLER", &extract.installer, "the installer");
    addFile(command, "DIR", &extract.folder, "the folder to write into");
    command->callback([this] { status = runExtract(extract); });
  }

  void addSsd() {
    CLI::App* command = addCommand("ssd", "write a data file with a QuickTime requirement");
    command->footer(ssdFooter());
    command->add_option("--quicktime-level", quickTimeLevel, "the QuickTime level required (0: none)")
        ->required()
        ->type_name("N");
    addFile(command, "CONTENT", &ssd.content, "the data file's content");
    addFile(command, "OUT", &ssd.output, "the data file to write");
    command->callback([this] {
      if (!parseQuickTimeLevel(quickTimeLevel, &ssd.quickTimeLevel)) {
        throw CLI::ValidationError("--quicktime-level", "'" + quickTimeLevel + "' is not a 32-bit whole number");
      }
      status = runSsd(ssd);
    });
  }

  void addImplode() {
    CLI::App* command = addCommand("implode", "compress a file into one raw implode stream");
    command->footer(kImplodeFooter);
    command->add_flag("--ascii", implodeAscii, "code literals with the fixed text code (default: binary literals)");
    command->add_option("--dict", implode.options.dictionarySize, "dictionary size in bytes (default 4096)")
        ->check(CLI::IsMember({1024u, 2048u, 4096u}).description(""))
        ->type_name("1024|2048|4096");
    addLevel(command, &implodeLevel, "fast (lazy matching, default) or best (optimal parse, smallest output)");
    addThreads(command, &implode.options.threads);
    addFile(command, "IN", &implode.input, "the file to compress");
    addFile(command, "OUT", &implode.output, "the stream to write");
    command->callback([this] {
      implode.options.literalMode = implodeAscii ? PQ_CMP_ASCII : PQ_CMP_BINARY;
      implode.options.level = levelNamed(implodeLevel);
      status = runImplode(implode);
    });
  }

  void addExplode() {
    CLI::App* command = addCommand("explode", "expand a raw implode stream");
    command->footer(explodeFooter());
    addFile(command, "IN", &explode.input, "the stream");
    addFile(command, "OUT", &explode.output, "the file to write");
    command->callback([this] { status = runExplode(explode); });
  }

  CLI::App app;
  int status = kExit_Done;
  BuildRequest build;
  std::string buildLevel = "best";
  ListRequest list;
  VerifyRequest verify;
  ExtractRequest extract;
  SsdRequest ssd;
  std::string quickTimeLevel;
  ImplodeRequest implode;
  bool implodeAscii = false;
  std::string implodeLevel = "fast";
  ExplodeRequest explode;
};

} // namespace

int runCommandLine(const Args& arguments) {
  CommandLine commandLine;
  return commandLine.run(arguments);
}

} // namespace pqpack
