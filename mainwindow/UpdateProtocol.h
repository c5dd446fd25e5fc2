// The update check's request and reply, and the rules that space the
// background checks. No network and no window here.
#ifndef UPDATEPROTOCOL_H
#define UPDATEPROTOCOL_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

// Sent as "version"; the update service compares it with its latest build.
constexpr int UpdateVersionCode = 1064978;

// The key/value pairs of the reply's lines "UPDATES YES key value ...";
// empty when no line qualifies. A repeated key keeps its last value.
QMap<QString, QString> parseUpdateReply(const QByteArray &reply);

// The operating system's name and version as the desktop reports it, or
// "unknown".
QString osVersionText();

// An absolute http or https URL with a host. Addresses from the settings and
// from the service's reply are used only when they pass.
bool isWebAddress(const QString &text);

// The GET address for the check address `checkAddress`, the query
// percent-encoded; empty when the check address is not a web address.
QUrl updateRequestUrl(const QString &checkAddress, const QString &osText);

// The start-up check: only with "On program start" (the frequency's 0 days)
// and more than 6 hours after the last check. Times in seconds since 1970 UTC.
bool startUpCheckDue(int frequencyIndex, quint64 lastCheck, quint64 now);
// The periodic check: once the frequency's days have passed; never with
// "On program start".
bool periodicCheckDue(int frequencyIndex, quint64 lastCheck, quint64 now);

// "Tessivane update (<b>%1</b>) available." with the version escaped: it
// comes from an unauthenticated reply.
QString updateAvailableText(const QString &version);
// Plain text as HTML that can wrap inside addresses: a zero-width space
// after each "/", "?", "&" and "=" lets a long URL break there.
QString wrappableHtml(const QString &plain);

#endif
