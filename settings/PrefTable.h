#ifndef PREFTABLE_H
#define PREFTABLE_H

#include <QMap>
#include <QString>
#include <QVector>

class QObject;
class PrefStore;

// The preferences dialog's controls, one row per option: which widget shows
// a key and how the stored integer maps to what it shows. Filling, applying
// and restoring defaults all walk these rows, so no option is handled by
// hand in one place and forgotten in another.
class PrefTable
{
public:
    enum Kind {
        Check,      // QCheckBox: 0 or 1
        Combo,      // QComboBox: the index
        Spin,       // QSpinBox: the value
        DoubleSpin, // QDoubleSpinBox: stored = shown x scale, truncated
        RadioTrio,  // QButtonGroup with ids 0, 1, 2: the checked id
        LineEdit,   // QLineEdit: a string option
    };

    struct Row {
        QString key;
        QObject *control;
        Kind kind;
        int scale;
    };

    void add(const QString &key, QObject *control, Kind kind, int scale = 1);
    const QVector<Row> &rows() const { return tableRows; }
    // Null when no row has the key.
    const Row *row(const QString &key) const;

    // Sets every control whose key the maps hold; the others keep what they show.
    void fill(const QMap<QString, int> &ints, const QMap<QString, QString> &strings) const;
    // Writes every control into the store, disabled ones included.
    void write(PrefStore &store) const;

    // The dialog's view of a stored decimal, and back: truncated toward zero,
    // so 2.01 x 1000 (just below 2010 as a double) stores 2009.
    static double shownValue(int stored, int scale);
    static int storedValue(double shown, int scale);
    // A stored index that names an entry of a list of count entries, else the
    // key's default (hand-edited settings must not leave a control empty).
    static int validIndex(const QString &key, int value, int count);

private:
    QVector<Row> tableRows;
};

#endif
