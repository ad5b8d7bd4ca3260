#include "protocol/text_rules.h"

#include "link/exchange.h"

TextProblem storedTextProblem(const QString& text) {
    if (!isSendable(text))
        return TextProblem::NotPrintableAscii;
    if (text.contains(kFrameStart))
        return TextProblem::FrameStart;
    if (!text.isEmpty() && text.trimmed().isEmpty())
        return TextProblem::OnlyBlanks;
    if (text.size() > kMaxStoredText)
        return TextProblem::TooLong;
    return TextProblem::None;
}

TextProblem manualCommandProblem(const QString& text) {
    if (text.trimmed().isEmpty())
        return TextProblem::Empty;
    if (!isSendable(text))
        return TextProblem::NotPrintableAscii;
    if (text.contains(kFrameStart))
        return TextProblem::FrameStart;
    if (text.size() > kMaxManualCommand)
        return TextProblem::TooLong;
    return TextProblem::None;
}
