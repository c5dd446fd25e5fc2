#include "PrefTable.h"

#include "PrefStore.h"
#include "PreferenceDefault.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>

#include <cmath>

namespace {

constexpr int TrioSize = 3;

}

void PrefTable::add(const QString &key, QObject *control, Kind kind, int scale)
{
    tableRows.append({key, control, kind, scale});
}

const PrefTable::Row *PrefTable::row(const QString &key) const
{
    for (const Row &r : tableRows) {
        if (r.key == key)
            return &r;
    }
    return nullptr;
}

double PrefTable::shownValue(int stored, int scale)
{
    return double(stored) / double(scale);
}

int PrefTable::storedValue(double shown, int scale)
{
    return int(std::trunc(shown * double(scale)));
}

int PrefTable::validIndex(const QString &key, int value, int count)
{
    if (value >= 0 && value < count)
        return value;
    const int fallback = PreferenceDefault::defaultFor(key);
    return fallback >= 0 && fallback < count ? fallback : 0;
}

void PrefTable::fill(const QMap<QString, int> &ints, const QMap<QString, QString> &strings) const
{
    for (const Row &r : tableRows) {
        if (r.kind == LineEdit) {
            const auto it = strings.constFind(r.key);
            if (it != strings.cend())
                static_cast<QLineEdit *>(r.control)->setText(it.value());
            continue;
        }
        const auto it = ints.constFind(r.key);
        if (it == ints.cend())
            continue;
        const int v = it.value();
        switch (r.kind) {
        case Check:
            static_cast<QCheckBox *>(r.control)->setChecked(v != 0);
            break;
        case Combo: {
            auto *combo = static_cast<QComboBox *>(r.control);
            combo->setCurrentIndex(validIndex(r.key, v, combo->count()));
            break;
        }
        case Spin:
            static_cast<QSpinBox *>(r.control)->setValue(v);
            break;
        case DoubleSpin:
            static_cast<QDoubleSpinBox *>(r.control)->setValue(shownValue(v, r.scale));
            break;
        case RadioTrio:
            static_cast<QButtonGroup *>(r.control)->button(validIndex(r.key, v, TrioSize))->setChecked(true);
            break;
        case LineEdit:
            break;
        }
    }
}

void PrefTable::write(PrefStore &store) const
{
    for (const Row &r : tableRows) {
        switch (r.kind) {
        case Check:
            store.setPrefValue(r.key, static_cast<QCheckBox *>(r.control)->isChecked() ? 1 : 0);
            break;
        case Combo:
            store.setPrefValue(r.key, static_cast<QComboBox *>(r.control)->currentIndex());
            break;
        case Spin:
            store.setPrefValue(r.key, static_cast<QSpinBox *>(r.control)->value());
            break;
        case DoubleSpin:
            store.setPrefValue(r.key, storedValue(static_cast<QDoubleSpinBox *>(r.control)->value(), r.scale));
            break;
        case RadioTrio: {
            // Nothing checked reads as the first radio.
            const int id = static_cast<QButtonGroup *>(r.control)->checkedId();
            store.setPrefValue(r.key, id == 1 || id == 2 ? id : 0);
            break;
        }
        case LineEdit:
            store.setPrefString(r.key, static_cast<QLineEdit *>(r.control)->text());
            break;
        }
    }
}
