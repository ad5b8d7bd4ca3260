#pragma once

#include <QString>

// What text may go into a frame beyond printable ASCII. Model and identity
// texts are short: a reply carrying a longer one would not even fit the
// time-out at 1200 baud. A typed command is a name and its payload; anything
// longer is a slip of the hand.
inline constexpr int kMaxStoredText = 32;
inline constexpr int kMaxManualCommand = 64;

// FrameStart: a "$", which a transmitter takes as the start of a new request,
// so no text holding one can be sent or stored.
enum class TextProblem { None, Empty, NotPrintableAscii, FrameStart, OnlyBlanks, TooLong };

inline constexpr QChar kFrameStart = QLatin1Char('$');

// A model or identity text to store: printable ASCII without "$". An empty
// text is allowed: the command then reads the text back unchanged.
TextProblem storedTextProblem(const QString& text);

// A command text typed by the engineer: not empty or blank, printable ASCII
// without "$", kMaxManualCommand characters at most.
TextProblem manualCommandProblem(const QString& text);
