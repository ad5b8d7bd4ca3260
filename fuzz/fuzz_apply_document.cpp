// apply's document reader fed any bytes as the file: it must end in a clear
// refusal or a plan whose every frame carries the formatted form of a value
// the document holds, never an address or a rate, and trims and texts only
// when asked for.
//
// Input: the first byte's two low bits are --with-trims and --with-texts, the
// second picks the transmitter's own decimals (0-4, or none); the rest is the
// document.

#include "cli/apply_plan.h"
#include "property_check.h"
#include "write_plan_properties.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const bool withTrims = data[0] & 1;
    const bool withTexts = data[0] & 2;
    const std::optional<int> decimals = data[1] <= 4 ? std::optional<int>(data[1]) : std::nullopt;
    const QByteArray document =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const auto input = [&] { return fuzz::quoted(document); };

    const auto planned = planApply(document, withTrims, withTexts, decimals);
    if (const Refusal* refusal = std::get_if<Refusal>(&planned)) {
        fuzz::require(!refusal->message.trimmed().isEmpty(), "a refusal says why", input);
        return 0;
    }
    const ApplyPlan& apply = std::get<ApplyPlan>(planned);
    for (const QString& key : apply.document.values.keys()) {
        const auto which = [&] { return key.toUtf8() + " in " + fuzz::quoted(document); };
        fuzz::require(withTrims || !key.startsWith(QLatin1String("trim")),
                      "trims only with --with-trims", which);
        fuzz::require(withTexts || (key != QLatin1String("id") && key != QLatin1String("model")),
                      "texts only with --with-texts", which);
        fuzz::require(settingKeys().contains(key), "never an address or a rate", which);
    }
    fuzz::requirePlanMatches(apply.plan, apply.document.values, decimals);
    return 0;
}
