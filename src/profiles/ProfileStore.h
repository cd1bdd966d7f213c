#pragma once

#include "core/UserInterface.h"
#include "profiles/ProfileFileError.h"

#include <QObject>
#include <QString>
#include <QStringList>


class SupplyModel;
class ProfileRecord;

// Reads profile files into the supply's model and writes its set values into profile files, and holds the
// current profile path. Status numbers are those of ProfileFileError.h.
class ProfileStore : public QObject
{
    Q_OBJECT
public:
    ProfileStore(SupplyModel &model, UserInterface &ui, QObject *parent = nullptr);

    // The main window's caption, part of the title of the store's messages.
    void setCaption(const QString &caption) { m_caption = caption; }

    // Puts the profile `filename` into the model: every field marked pending, switch
    // requests for modules 1 and 2. Sends nothing; the caller runs the refresh cycle. Numbers
    // beyond a module's limits are brought to the nearer limit, named in one message; the file
    // stays as it is.
    // Returns 0, -1 (not a profile) or a file error number.
    int open(const QString &filename);
    // Writes what the model's set values hold into `filename`. An existing file stays as it was
    // unless the new one is written completely. Returns 0 or a file error number.
    int save(const QString &filename);


    // The current profile path: empty at start, set by every successful load or save.
    QString filename() const { return m_filename; }
    void setFilename(const QString &value) { m_filename = value; }

signals:
    // Every successful load and save, with the path.
    void loaded(const QString &path);
    void saved(const QString &path);

private:
    // Returns the fields corrected to a limit, "<field>: <number in the file> → <limit>".
    QStringList applyRecord(const ProfileRecord &record);
    void reportFileError(const QString &verb, const QString &description);
    QString profileTitle(const QString &verb) const;

    SupplyModel &m_model;
    UserInterface &m_ui;
    QString m_caption;
    QString m_filename;
};
