#pragma once

#include <QString>

// A file already in the folder under the name a download wanted. Of the
// download's size it is most likely that very file, so the user chooses
// before a "name (1)" is kept beside it.
class SameFile
{
public:
    SameFile() = default;
    // The download saves at path, having wanted the name wanted: what may
    // stand under that name, when it is another.
    static SameFile beside(const QString &path, const QString &wanted);
    // What an earlier run offered the choice of, while it is still there.
    static SameFile kept(const QString &path);

    const QString &path() const { return m_path; }
    bool isKnown() const { return !m_path.isEmpty(); }
    // Whether it is there with size bytes; forgotten once it is not.
    bool holds(qint64 size);
    // As the list names it.
    QString shown() const;

private:
    explicit SameFile(const QString &path)
        : m_path(path)
    { }

    QString m_path;
};
