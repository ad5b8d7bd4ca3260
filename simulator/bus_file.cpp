#include "simulator/bus_file.h"

#include "link/frame.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>

#include <cmath>

namespace sim {

namespace {

const QString kTransmitters = QStringLiteral("transmitters");

// Reads one transmitter object; every error says which key is wrong and why.
class TransmitterReader {
public:
    TransmitterReader(const QJsonObject& object, int turnaroundMs)
        : m_object(object)
        , m_turnaroundMs(turnaroundMs) {}

    std::optional<Transmitter> read(QString* error);

private:
    bool fail(const QString& key, const QString& problem) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("\"%1\" %2").arg(key, problem);
        return false;
    }
    QByteArray text(const QString& key, const QByteArray& fallback);
    int integer(const QString& key, int fallback, int low, int high);
    double number(const QString& key, double fallback);

    QJsonObject m_object;
    int m_turnaroundMs;
    QString m_error;
};

QByteArray TransmitterReader::text(const QString& key, const QByteArray& fallback) {
    const QJsonValue value = m_object.value(key);
    if (value.isUndefined())
        return fallback;
    if (!value.isString()) {
        fail(key, QStringLiteral("must be a text"));
        return fallback;
    }
    const QByteArray bytes = value.toString().toLatin1();
    // Everything here goes into reply frames, which carry printable ASCII
    // only; a CR inside would end the frame early.
    if (value.toString() != QString::fromLatin1(bytes) || !frame::isPrintableAscii(bytes)) {
        fail(key, QStringLiteral("must be printable ASCII"));
        return fallback;
    }
    return bytes;
}

int TransmitterReader::integer(const QString& key, int fallback, int low, int high) {
    const QJsonValue value = m_object.value(key);
    if (value.isUndefined())
        return fallback;
    const double d = value.toDouble(-1e300);
    if (!value.isDouble() || d != std::floor(d) || d < low || d > high) {
        fail(key, QStringLiteral("must be a whole number from %1 to %2").arg(low).arg(high));
        return fallback;
    }
    return int(d);
}

double TransmitterReader::number(const QString& key, double fallback) {
    const QJsonValue value = m_object.value(key);
    if (value.isUndefined())
        return fallback;
    if (!value.isDouble()) {
        fail(key, QStringLiteral("must be a number"));
        return fallback;
    }
    return value.toDouble();
}

std::optional<Transmitter> TransmitterReader::read(QString* error) {
    static const QSet<QString> kKeys{
        QStringLiteral("address"),    QStringLiteral("baud"),       QStringLiteral("model"),
        QStringLiteral("id"),         QStringLiteral("version"),    QStringLiteral("unit"),
        QStringLiteral("decimals"),   QStringLiteral("rangeLow"),   QStringLiteral("rangeHigh"),
        QStringLiteral("output4mA"),  QStringLiteral("output20mA"), QStringLiteral("trim4mA"),
        QStringLiteral("trim20mA"),   QStringLiteral("pressure"),   QStringLiteral("temperature"),
        QStringLiteral("turnaround"), QStringLiteral("faults")};
    for (auto it = m_object.begin(); it != m_object.end(); ++it) {
        if (!kKeys.contains(it.key()))
            fail(it.key(), QStringLiteral("is not a known key"));
    }

    if (!m_object.contains(QStringLiteral("address")))
        fail(QStringLiteral("address"), QStringLiteral("is missing"));
    const QByteArray address = text(QStringLiteral("address"), "01");
    if (!Transmitter::isValidAddress(address))
        fail(QStringLiteral("address"), QStringLiteral("must be two digits from \"01\" to \"99\""));

    const QJsonValue baudValue = m_object.value(QStringLiteral("baud"));
    if (baudValue.isUndefined())
        fail(QStringLiteral("baud"), QStringLiteral("is missing"));
    const int baud = baudValue.toInt(0);
    if (!baudValue.isUndefined() && (!baudValue.isDouble() || !Transmitter::isValidBaud(baud)))
        fail(QStringLiteral("baud"), QStringLiteral("must be 1200, 2400, 4800 or 9600"));

    Settings s;
    s.decimals = integer(QStringLiteral("decimals"), 2, 0, kDecimalsCodeCount - 1);
    // A transmitter of another firmware may report a unit code the tool has no
    // name for; the file may give one, so the tool can be tried against it.
    s.unit = integer(QStringLiteral("unit"), 0, 0, kHighestReportedUnitCode);
    s.model = text(QStringLiteral("model"), "PDS301");
    s.id = text(QStringLiteral("id"), "SIM" + address);
    s.rangeLow = text(QStringLiteral("rangeLow"), formatPressure(0, s.decimals));
    s.rangeHigh = text(QStringLiteral("rangeHigh"), formatPressure(100, s.decimals));
    s.output4mA = text(QStringLiteral("output4mA"), s.rangeLow);
    s.output20mA = text(QStringLiteral("output20mA"), s.rangeHigh);
    s.trim4mA = text(QStringLiteral("trim4mA"), "+0000");
    s.trim20mA = text(QStringLiteral("trim20mA"), "+0000");
    const QByteArray version = text(QStringLiteral("version"), "V1.00");
    const double low = s.rangeLow.toDouble();
    const double high = s.rangeHigh.toDouble();
    const double pressure = number(QStringLiteral("pressure"), low + 0.4 * (high - low));
    const double temperature = number(QStringLiteral("temperature"), 22.0);
    const int turnaround =
        integer(QStringLiteral("turnaround"), m_turnaroundMs, 0, Transmitter::kMaxTurnaroundMs);

    FaultTable faults;
    const QJsonValue faultsValue = m_object.value(QStringLiteral("faults"));
    if (!faultsValue.isUndefined() && !faultsValue.isObject())
        fail(QStringLiteral("faults"), QStringLiteral("must be an object of command: kind"));
    const QJsonObject faultObject = faultsValue.toObject();
    for (auto it = faultObject.begin(); it != faultObject.end(); ++it) {
        const std::optional<Fault> fault = faultFromName(it.value().toString());
        if (it.key().isEmpty() || !it.value().isString() || !fault) {
            fail(QStringLiteral("faults"), QStringLiteral("entry \"%1\" must name one of: %2")
                                               .arg(it.key(), faultKindNames()));
            break;
        }
        faults.set(it.key().toLatin1(), *fault);
    }

    if (!m_error.isEmpty()) {
        *error = m_error;
        return std::nullopt;
    }
    Transmitter t(address, baud, s, version, pressure, temperature);
    t.setTurnaroundMs(turnaround);
    t.faults() = faults;
    return t;
}

QString lineAndColumn(const QByteArray& json, int offset) {
    const QByteArray before = json.left(offset);
    const int line = int(before.count('\n')) + 1;
    const int column = int(offset - before.lastIndexOf('\n'));
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

} // namespace

std::optional<std::vector<Transmitter>> busFromJson(const QByteArray& json, QString* error,
                                                    int turnaroundMs) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not valid JSON at %1: %2")
                     .arg(lineAndColumn(json, parseError.offset), parseError.errorString());
        return std::nullopt;
    }
    const QJsonValue list = document.object().value(kTransmitters);
    if (!document.isObject() || !list.isArray()) {
        *error = QStringLiteral("expected an object with a list \"transmitters\"");
        return std::nullopt;
    }
    const QJsonObject top = document.object();
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (it.key() != kTransmitters) {
            *error = QStringLiteral("\"%1\" is not a known key").arg(it.key());
            return std::nullopt;
        }
    }

    std::vector<Transmitter> transmitters;
    const QJsonArray array = list.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        QString problem;
        std::optional<Transmitter> t;
        if (array[i].isObject())
            t = TransmitterReader(array[i].toObject(), turnaroundMs).read(&problem);
        else
            problem = QStringLiteral("must be an object");
        if (!t) {
            *error = QStringLiteral("transmitter %1: %2").arg(i + 1).arg(problem);
            return std::nullopt;
        }
        transmitters.push_back(std::move(*t));
    }
    return transmitters;
}

std::optional<std::vector<Transmitter>> readBusFile(const QString& path, QString* error,
                                                    int turnaroundMs) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QString problem;
    std::optional<std::vector<Transmitter>> transmitters =
        busFromJson(file.readAll(), &problem, turnaroundMs);
    if (!transmitters)
        *error = QStringLiteral("%1: %2").arg(path, problem);
    return transmitters;
}

QJsonObject settingsToJson(const Settings& s) {
    return QJsonObject{
        {QStringLiteral("model"), QString::fromLatin1(s.model)},
        {QStringLiteral("id"), QString::fromLatin1(s.id)},
        {QStringLiteral("unit"), s.unit},
        {QStringLiteral("decimals"), s.decimals},
        {QStringLiteral("rangeLow"), QString::fromLatin1(s.rangeLow)},
        {QStringLiteral("rangeHigh"), QString::fromLatin1(s.rangeHigh)},
        {QStringLiteral("output4mA"), QString::fromLatin1(s.output4mA)},
        {QStringLiteral("output20mA"), QString::fromLatin1(s.output20mA)},
        {QStringLiteral("trim4mA"), QString::fromLatin1(s.trim4mA)},
        {QStringLiteral("trim20mA"), QString::fromLatin1(s.trim20mA)},
        {QStringLiteral("zeroOffset"), s.zeroOffset},
    };
}

QJsonObject transmitterToJson(const Transmitter& t) {
    QJsonObject object = settingsToJson(t.settings());
    // The zero offset is the transmitter's own doing (the "SZ" command), not
    // something a bus file sets.
    object.remove(QStringLiteral("zeroOffset"));
    object.insert(QStringLiteral("address"), QString::fromLatin1(t.address()));
    object.insert(QStringLiteral("baud"), t.baud());
    object.insert(QStringLiteral("version"), QString::fromLatin1(t.version()));
    object.insert(QStringLiteral("pressure"), t.basePressure());
    object.insert(QStringLiteral("temperature"), t.baseTemperature());
    object.insert(QStringLiteral("turnaround"), t.turnaroundMs());
    if (!t.faults().isEmpty()) {
        QJsonObject faults;
        for (const auto& [command, fault] : t.faults().entries())
            faults.insert(QString::fromLatin1(command), faultName(fault));
        object.insert(QStringLiteral("faults"), faults);
    }
    return object;
}

QByteArray busToJson(const std::vector<Transmitter>& transmitters) {
    QJsonArray list;
    for (const Transmitter& t : transmitters)
        list.append(transmitterToJson(t));
    return QJsonDocument(QJsonObject{{kTransmitters, list}}).toJson(QJsonDocument::Indented);
}

std::vector<Transmitter> defaultBus(int turnaroundMs) {
    // Short texts on the 1200 baud transmitter: there a long model text alone
    // would take most of the tool's 300 ms to cross the line.
    Settings gauge{"PDS301",  "A2309142", 0,       2,       "+000.00", "+250.00",
                   "+000.00", "+250.00",  "+0000", "+0012", 0};
    Settings highPressure{"PDS305G", "B2211037", 1,       3,       "+00.000", "+01.600",
                          "+00.000", "+01.600",  "-0007", "+0003", 0};
    Settings level{"LT200",   "C19033",  2,       1,       "+0000.0", "+0010.0",
                   "+0000.0", "+0010.0", "+0000", "-0002", 0};
    std::vector<Transmitter> bus;
    bus.emplace_back("01", 9600, gauge, "V2.13", 101.3, 23.5);
    bus.emplace_back("07", 4800, highPressure, "V2.13", 0.85, 31.2);
    bus.emplace_back("12", 1200, level, "V1.07", 4.2, 12.8);
    for (Transmitter& t : bus)
        t.setTurnaroundMs(turnaroundMs);
    return bus;
}

} // namespace sim
