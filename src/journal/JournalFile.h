#pragma once

#include <QByteArray>
#include <QString>

// The file the journal's lines are appended to: only a regular file, in a folder of the user's
// own, and only whole lines in it, so that every line reads as JSON. Each call may wait for the
// disk: only the writer thread uses it.
class JournalFile
{
public:
    JournalFile() = default;
    ~JournalFile();
    JournalFile(const JournalFile &) = delete;
    JournalFile &operator=(const JournalFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    // Makes the folder if needed and opens for appending; a partial last line (a run cut short
    // mid-line) is cut back first. False, closed, with error() saying why, otherwise.
    bool open(const QString &path);
    // Appends one line ending in '\n'. On failure what was written of it is cut back, the file
    // is closed, and error() says why.
    bool append(const QByteArray &line);
    void close();
    QString error() const { return m_error; }

private:
    // Truncates to just after the last '\n' (or to nothing). Empty if done, else why not.
    QString cutBackPartialLine();

    int m_fd = -1;
    QString m_path;
    QString m_error;
};
