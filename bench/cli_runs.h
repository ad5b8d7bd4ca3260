#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// tarnwick-cli run as a script runs it, one process per command, against the
// simulated bus. Each figure goes to add(figure, measured, goal, met).
using AddFigure = std::function<void(const QString&, const QString&, const QString&, bool)>;
void cliRuns(const AddFigure& add);

// Characters on the wire in simulator trace lines, escapes counted as one.
qint64 wireCharacters(const QStringList& lines);
double median(QList<double> values);
// The value below which the share p (0 to 1) of values lie, the nearest one.
double percentile(QList<double> values, double p);
