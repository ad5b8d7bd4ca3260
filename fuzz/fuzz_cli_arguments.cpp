// tarnwick-cli's command line from hostile hands: the address, rate and list
// arguments, and set's KEY=VALUE arguments with their plan of writes. Any
// input must end in a clear refusal or in a plan whose every frame carries the
// formatted form of a value given.
//
// Input: the first byte picks the transmitter's own decimals (0-4, or none);
// the rest is the arguments, one per line.

#include "cli/arguments.h"
#include "cli/write_plan.h"
#include "property_check.h"
#include "protocol/bus_search.h"
#include "write_plan_properties.h"

#include <QStringList>
#include <QStringTokenizer>

#include <cstddef>
#include <cstdint>

namespace {

// One of the list and address parsers per argument, picked by its length:
// every parser still meets every kind of argument over a run, at a third of
// the cost per input.
void checkArgumentParser(const QString& text) {
    const auto input = [&] { return fuzz::quoted(text); };
    switch (text.size() % 3) {
    case 0:
        if (const std::optional<QString> a = parseBusAddress(text))
            fuzz::require(isBusAddress(*a), "an address is two digits 01-99", input);
        break;
    case 1:
        if (const std::optional<QList<int>> rates = parseBaudList(text)) {
            int last = 4;
            for (const int i : *rates) {
                fuzz::require(i >= 0 && i < last, "rates fastest first, each once", input);
                last = i;
            }
        }
        break;
    default:
        if (const std::optional<QList<int>> addresses = parseAddressList(text)) {
            int last = 0;
            for (const int n : *addresses) {
                fuzz::require(n > last && n <= 99, "addresses ascending, 1-99, each once", input);
                last = n;
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::optional<int> decimals = data[0] <= 4 ? std::optional<int>(data[0]) : std::nullopt;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    // The arguments point into text instead of each holding a copy: an input
    // may hold a hundred arguments, and their copies would cost more than
    // parsing them.
    QStringList arguments;
    arguments.reserve(text.count(QLatin1Char('\n')) + 1);
    for (const QStringView line : qTokenize(text, QLatin1Char('\n')))
        arguments.append(QString::fromRawData(line.data(), line.size()));

    for (const QString& argument : arguments)
        checkArgumentParser(argument);

    const auto planned = planSet(arguments, decimals);
    if (const Refusal* refusal = std::get_if<Refusal>(&planned)) {
        fuzz::require(!refusal->message.trimmed().isEmpty(), "a refusal says why",
                      [&] { return fuzz::quoted(text); });
        return 0;
    }
    // The plan stands only when the arguments were good ones; the writes
    // must then match the values parsed from them.
    const auto parsed = parseSettings(arguments);
    const SettingValues* values = std::get_if<SettingValues>(&parsed);
    fuzz::require(values != nullptr, "a plan only from arguments that parse",
                  [&] { return fuzz::quoted(text); });
    fuzz::requirePlanMatches(std::get<WritePlan>(planned), *values, decimals);
    return 0;
}
