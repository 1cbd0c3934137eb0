// info: what kind of movie each MOVIE is, one row each.
#include "cli/Command.h"
#include "cli/MovieInput.h"
#include "platform/Sha256.h"
#include "swf/MovieReading.h"

namespace {

constexpr const char* kSynopsis = "info [-0] MOVIE...";

int RunInfo(const std::vector<std::string>& args)
{
    cli::Operands operands;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "-0") {
            operands.nulTerminated = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            cli::PrintError("unknown option '" + arg + "' (usage: plumeroc-grab " + kSynopsis + ")");
            return cli::kUsage;
        } else {
            operands.values.push_back(arg);
        }
    }
    if (operands.values.empty()) {
        cli::PrintError(std::string("no MOVIE given (usage: plumeroc-grab ") + kSynopsis + ")");
        return cli::kUsage;
    }
    bool notOpened = false, brokeOff = false, errorStatus = false;
    for (const std::string& operand : operands.values) {
        const cli::MovieInput input(operand);
        notOpened = notOpened || input.Status() == cli::kCannotOpen;
        brokeOff = brokeOff || input.Status() == cli::kTransferFailed;
        errorStatus = errorStatus || input.Status() == cli::kErrorStatus;
        if (input.Status() != cli::kOk)
            continue;
        const std::optional<swf::MovieReading> reading = swf::ReadMovie(input.Bytes());
        if (!reading) {
            cli::PrintError(operand + ": not a Flash movie");
            notOpened = true;
            continue;
        }
        const swf::MovieSummary& summary = reading->summary;
        const std::string row = operand + '\t' + summary.signature + '\t' + std::to_string(summary.version) + '\t'
            + swf::PixelsText(summary.widthTwips) + 'x' + swf::PixelsText(summary.heightTwips) + '\t'
            + swf::FrameRateText(summary.frameRate) + '\t' + std::to_string(summary.frameCount) + '\t'
            + reading->ActionScriptVersion() + '\t' + std::to_string(summary.declaredLength) + '\t'
            + std::to_string(reading->decodedLength) + '\t' + platform::Sha256Hex(input.Bytes());
        if (!cli::PrintRow(stdout, row, operands.nulTerminated))
            break;
    }
    if (brokeOff)
        return cli::kTransferFailed;
    if (notOpened)
        return cli::kCannotOpen;
    return errorStatus ? cli::kErrorStatus : cli::kOk;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"info", kSynopsis,
     "Describe each MOVIE (a file or an http(s) address) in a row: name TAB signature TAB version TAB\n"
     "      WIDTHxHEIGHT in pixels TAB frame rate TAB frames TAB ActionScript version (1/2 or 3) TAB declared\n"
     "      length TAB decoded length (shorter: truncated) TAB SHA-256 of the file (2: a MOVIE cannot be\n"
     "      opened or is no movie, 3: a transfer broke off, 4: an error status).",
     60, RunInfo});

} // namespace
