#include "tools/PublishTool.h"

#include "support/Exceptions.h"
#include "tools/Publish.h"
#include "tools/Signing.h"

namespace {

typedef std::vector<std::string> Arguments;

struct Command {
  const char* name;
  const char* usage;
  // Returns an exit code; throws a string (any of the project's exceptions) on failure.
  int (*run)(const Arguments& arguments, std::ostream& out, std::ostream& err);
};

struct UsageError {
  std::string text;
};

// Takes "--option VALUE" pairs by name and leaves the operands.
class OptionReader {
 public:
  explicit OptionReader(const Arguments& arguments) : arguments(arguments) {}
  bool next() { return ++at < arguments.size(); }
  const std::string& current() const { return arguments[at]; }
  bool is(const char* option) const { return current() == option; }
  std::string value() {
    if (at + 1 >= arguments.size()) throw UsageError{current() + " needs a value"};
    return arguments[++at];
  }

 private:
  const Arguments& arguments;
  std::size_t at = static_cast<std::size_t>(-1);
};

int publish(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  PublishOptions options;
  Arguments operands;
  for (OptionReader reader(arguments); reader.next();) {
    if (reader.is("--base-url")) {
      options.baseUrl = reader.value();
    } else if (reader.is("--previous")) {
      options.previousList = reader.value();
    } else if (reader.is("--critical")) {
      options.rules.add(PublishRules::Critical, reader.value());
    } else if (reader.is("--non-critical")) {
      options.rules.add(PublishRules::NonCritical, reader.value());
    } else if (reader.is("--read-only")) {
      options.rules.add(PublishRules::ReadOnly, reader.value());
    } else if (reader.is("--rules")) {
      options.rules.readFile(reader.value());
    } else if (reader.is("--quiet")) {
      options.quiet = true;
    } else if (reader.is("--sign")) {
      options.signingKey = reader.value();
    } else if (reader.current().size() > 1 && reader.current()[0] == '-') {
      throw UsageError{"unknown option " + reader.current()};
    } else {
      operands.push_back(reader.current());
    }
  }
  if (operands.size() != 2) throw UsageError{"publish takes a release folder and an output folder"};
  if (options.baseUrl.empty()) throw UsageError{"publish needs --base-url"};
  options.releaseFolder = operands[0];
  options.outputFolder = operands[1];
  PublishSummary summary = publishRelease(options, err);
  std::string base = options.baseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  out << "published " << summary.added + summary.changed + summary.unchanged << " modules (" << summary.added
      << " new, " << summary.changed << " changed, " << summary.unchanged << " unchanged), " << summary.bytes
      << " bytes, in " << options.outputFolder << "\n"
      << "updateServer: " << base << "/modules.xml\n";
  if (!options.signingKey.empty()) out << "signature: " << base << "/modules.xml.sig\n";
  if (!summary.gone.empty()) {
    err << "note: " << summary.gone.size()
        << " modules of the previous release are not in this one; installations keep them:\n";
    for (const std::string& name : summary.gone) err << "  " << name << "\n";
  }
  return kPublishOk;
}

int maintenance(const Arguments& arguments, std::ostream& out, std::ostream&) {
  std::string status = "Up", message;
  Arguments operands;
  for (OptionReader reader(arguments); reader.next();) {
    if (reader.is("--status")) {
      status = reader.value();
    } else if (reader.is("--message")) {
      message = reader.value();
    } else if (reader.current().size() > 1 && reader.current()[0] == '-') {
      throw UsageError{"unknown option " + reader.current()};
    } else {
      operands.push_back(reader.current());
    }
  }
  if (operands.size() != 1) throw UsageError{"maintenance takes the answer file to write"};
  writeMaintenanceAnswer(operands[0], status, message);
  out << "wrote " << operands[0] << " (status " << status << ")\n";
  return kPublishOk;
}

// The signing commands take operands only.
Arguments operandsOf(const Arguments& arguments, std::size_t count, const char* usage) {
  for (const std::string& argument : arguments)
    if (argument.size() > 1 && argument[0] == '-') throw UsageError{"unknown option " + argument};
  if (arguments.size() != count) throw UsageError{usage};
  return arguments;
}

int keygen(const Arguments& arguments, std::ostream& out, std::ostream&) {
  Arguments operands = operandsOf(arguments, 1, "keygen takes the private key file to write");
  out << makeKeyFile(operands[0]) << "\n";
  return kPublishOk;
}

int sign(const Arguments& arguments, std::ostream& out, std::ostream&) {
  Arguments operands = operandsOf(arguments, 2, "sign takes the list and the private key file");
  out << "wrote " << signListFile(operands[0], readKeyFile(operands[1])) << "\n";
  return kPublishOk;
}

int verify(const Arguments& arguments, std::ostream& out, std::ostream&) {
  Arguments operands = operandsOf(arguments, 2, "verify takes the list and the public keys");
  out << "signed by public key " << verifyListFile(operands[0], operands[1]) << "\n";
  return kPublishOk;
}

const Command kCommands[] = {
    {"publish",
     "publish --base-url URL [--previous LIST] [--critical GLOB] [--non-critical GLOB]\n"
     "          [--read-only GLOB] [--rules FILE] [--sign KEYFILE] [--quiet] RELEASE_FOLDER OUTPUT_FOLDER",
     publish},
    {"maintenance", "maintenance [--status Up|Down|TEXT] [--message TEXT] FILE", maintenance},
    {"keygen", "keygen KEYFILE            (prints the public key for publicKeys)", keygen},
    {"sign", "sign LIST KEYFILE         (writes LIST.sig)", sign},
    {"verify", "verify LIST PUBLICKEYS    (checks LIST.sig as the updater does)", verify},
};

void printUsage(std::ostream& err) {
  err << "usage: updater-publish COMMAND ...  (no command: publish)\n";
  for (const Command& command : kCommands) err << "  updater-publish " << command.usage << "\n";
}

}  // namespace

int runPublishTool(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  const Command* command = &kCommands[0];
  Arguments rest = arguments;
  if (!arguments.empty()) {
    for (const Command& each : kCommands) {
      if (arguments[0] == each.name) {
        command = &each;
        rest.erase(rest.begin());
      }
    }
  }
  if (arguments.empty() || (rest.size() == 1 && (rest[0] == "--help" || rest[0] == "-h"))) {
    printUsage(err);
    return arguments.empty() ? kPublishUsage : kPublishOk;
  }
  try {
    return command->run(rest, out, err);
  } catch (const UsageError& usage) {
    err << "updater-publish: " << usage.text << "\n";
    printUsage(err);
    return kPublishUsage;
  } catch (const std::string& failure) {
    err << "updater-publish: " << failure << "\n";
    return kPublishFailed;
  } catch (const std::exception& failure) {
    err << "updater-publish: " << failure.what() << "\n";
    return kPublishFailed;
  }
}
