#include "UpdateProtocol.h"

#include "UpdateCheckFrequency.h"

#include <QStringList>
#include <QSysInfo>
#include <QUrlQuery>

namespace {

constexpr quint64 SecondsPerDay = 86400;
constexpr quint64 StartUpGap = 21600;

}

QMap<QString, QString> parseUpdateReply(const QByteArray &reply)
{
    QMap<QString, QString> pairs;
    const QStringList lines = QString::fromUtf8(reply).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() <= 1 || words[0] != QLatin1String("UPDATES") || words[1] != QLatin1String("YES"))
            continue;
        for (int i = 2; i < words.size() - 1; i += 2)
            pairs[words[i]] = words[i + 1];
    }
    return pairs;
}

QString osVersionText()
{
    const QString text = QSysInfo::prettyProductName();
    return text.isEmpty() ? QStringLiteral("unknown") : text;
}

bool isWebAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QUrl updateRequestUrl(const QString &checkAddress, const QString &osText)
{
    if (!isWebAddress(checkAddress))
        return QUrl();
    QUrl url(checkAddress, QUrl::StrictMode);
    QUrlQuery query(url);
    // Fully encoded by hand: QUrlQuery leaves "+" alone, which the service
    // would read as a space.
    const auto add = [&query](const char *key, const QString &value) {
        query.addQueryItem(QString::fromLatin1(key), QString::fromLatin1(QUrl::toPercentEncoding(value)));
    };
    add("version", QString::number(UpdateVersionCode));
    add("lang", QStringLiteral("EN"));
    add("platform", QStringLiteral("linux"));
    add("arch", QSysInfo::buildCpuArchitecture());
    add("ver", osText);
    url.setQuery(query);
    return url;
}

bool startUpCheckDue(int frequencyIndex, quint64 lastCheck, quint64 now)
{
    return UpdateCheckFrequency::forIndex(frequencyIndex).days == 0 && lastCheck + StartUpGap < now;
}

bool periodicCheckDue(int frequencyIndex, quint64 lastCheck, quint64 now)
{
    const int days = UpdateCheckFrequency::forIndex(frequencyIndex).days;
    return days != 0 && lastCheck + quint64(days) * SecondsPerDay < now;
}

QString updateAvailableText(const QString &version)
{
    return QStringLiteral("Tessivane update (<b>%1</b>) available.").arg(version.toHtmlEscaped());
}

QString wrappableHtml(const QString &plain)
{
    QString html = plain.toHtmlEscaped();
    QString out;
    out.reserve(html.size() + html.size() / 8);
    for (int i = 0; i < html.size(); ++i) {
        out += html[i];
        const bool entity = html[i] == QLatin1Char('&');
        if (entity) {
            // Copy the whole entity, then allow a break after it.
            const int end = html.indexOf(QLatin1Char(';'), i);
            if (end > i) {
                out += html.mid(i + 1, end - i);
                i = end;
            }
        }
        if (entity || html[i] == QLatin1Char('/') || html[i] == QLatin1Char('?') || html[i] == QLatin1Char('='))
            out += QChar(0x200B);
    }
    return out;
}
