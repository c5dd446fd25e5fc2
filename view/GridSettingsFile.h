// The grid-settings text file (".tgs"): records to text and back, and the
// rules for which of a file's values a load takes. No widgets.
#ifndef GRIDSETTINGSFILE_H
#define GRIDSETTINGSFILE_H

#include "GridPosition.h"
#include "GridSettings.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

class GridSettingsFile
{
public:
    enum PositionState { NoPosition, IncorrectPosition, PositionLoaded };

    struct LoadResult {
        bool valid = false;
        GridSettings settings;
        GridPosition position;   // empty unless PositionLoaded
        PositionState positionState = NoPosition;
        QString statusText;
    };

    // A real file is a few hundred bytes; anything larger is not one.
    static constexpr qint64 maxFileSize = 1 << 20;

    // position may be null: no image or no grid, lines 1 to 9 only.
    static QByteArray write(const GridSettings &settings, const GridPosition *position);
    static QString savedStatusText(bool withPosition);

    // All or nothing: on failure an existing file stays as it was and
    // `error` says why.
    static bool writeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);
    // "%1/%2.tgs" from the raw file's base name in folder; empty without one,
    // so no hidden ".tgs" is offered.
    static QString suggestedName(const QString &folder, const QString &rawFileName);
    // A typed name without a suffix gets ".tgs".
    static QString withSuffix(const QString &path);
    static QString dialogFilter();

    // Key to integers, the last line of a key winning.
    static QHash<QString, QVector<int>> readKeys(const QByteArray &text);
    // start holds the values a key missing from the file leaves in place.
    static LoadResult load(const QByteArray &text, const GridSettings &start);
    // Reads at most maxFileSize + 1 bytes; an unreadable file gives no text.
    static QByteArray readFile(const QString &path);
};

#endif
