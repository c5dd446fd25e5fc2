#ifndef FIXTUREFOLDER_H
#define FIXTUREFOLDER_H

#include <QString>
#include <QTemporaryDir>

#include <string>

struct DngDescription;
struct DngLayout;

// A temporary folder for the files the writers' checks read back.
class FixtureFolder {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // The written file's path, or an empty string (the writer's message
    // printed as a warning) when the writer refuses the description.
    QString write(const DngDescription &d, const QString &name, DngLayout *layout = nullptr) const;

    // The same for any writer of the form Writer::writeFile(description, path, &error, extra...).
    template <class Writer, class Description, class... Extra>
    QString writeWith(const Description &d, const QString &name, Extra... extra) const
    {
        const QString path = filePath(name);
        std::string error;
        if (!Writer::writeFile(d, path.toStdString(), &error, extra...)) {
            warn(error);
            return {};
        }
        return path;
    }

private:
    static void warn(const std::string &error);

    QTemporaryDir m_dir;
};

#endif
