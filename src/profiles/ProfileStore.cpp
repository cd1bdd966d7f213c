#include "profiles/ProfileStore.h"

#include "core/Conversions.h"
#include "core/FieldLimits.h"
#include "core/ModuleTable.h"
#include "device/SupplyModel.h"
#include "profiles/ProfileRecord.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kOpenVerb = QStringLiteral("Open ");
const QString kSaveVerb = QStringLiteral("Save ");
const QString kFormatMessage = QStringLiteral("Invalif file format");

// Lower limit first, so that a NaN (which fails every comparison) becomes the lower limit.
float limited(float v, float lowest, float highest)
{
    if (!(v >= lowest))
        return lowest;
    if (v > highest)
        return highest;
    return v;
}

} // namespace

ProfileStore::ProfileStore(SupplyModel &model, UserInterface &ui, QObject *parent)
    : QObject(parent), m_model(model), m_ui(ui)
{
}

QString ProfileStore::profileTitle(const QString &verb) const
{
    return verb + m_caption + QStringLiteral(" Profile");
}

void ProfileStore::reportFileError(const QString &verb, const QString &description)
{
    m_ui.messageBox(description, profileTitle(verb), UserInterface::Icon::Critical);
}

int ProfileStore::open(const QString &filename)
{
    QFile file(filename);
    // A FIFO or a device would block the window thread in its open or its read, so only a
    // regular file is a profile. Opened without blocking and examined through the same handle,
    // so that nothing can swap the file in between. A failed open is left to QFile below,
    // which reports it in its own words (an fstat that failed leaves st_mode 0: refused).
    int fd = ::open(QFile::encodeName(filename).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (fd >= 0 && ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(fd); // a folder keeps its own status and message
        fd = -1;
    }
    if (fd >= 0) {
        if (!S_ISREG(status.st_mode)) {
            ::close(fd);
            reportFileError(kOpenVerb, QStringLiteral("%1 is not a regular file.").arg(filename));
            return ProfileFileError::kNotARegularFile;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    errno = 0;
    const bool opened = fd >= 0 ? file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)
                                : file.open(QIODevice::ReadOnly);
    if (!opened) {
        const int systemError = errno;
        reportFileError(kOpenVerb, file.errorString());
        return ProfileFileError::forOpen(filename, false, systemError);
    }
    errno = 0;
    const QByteArray bytes = file.read(ProfileRecord::kFileSize);
    if (file.error() != QFileDevice::NoError) {
        const int systemError = errno;
        const QString description = file.errorString();
        file.close();
        reportFileError(kOpenVerb, description);
        return ProfileFileError::forTransfer(systemError);
    }
    file.close();

    // A short file is refused like a wrong marker: its missing numbers are not a profile.
    const std::optional<ProfileRecord> record = ProfileRecord::decode(bytes);
    if (!record || !record->hasProfileMarker()) {
        m_ui.messageBox(kFormatMessage, profileTitle(kOpenVerb), UserInterface::Icon::Critical);
        return ProfileFileError::kNotAProfile;
    }
    const QStringList corrected = applyRecord(*record);
    if (!corrected.isEmpty())
        m_ui.messageBox(QStringLiteral("Values beyond their limits were brought to the nearer limit "
                                       "(the file is not changed):\n")
                            + corrected.join(QLatin1Char('\n')),
                        profileTitle(kOpenVerb), UserInterface::Icon::Exclamation);
    setFilename(filename);
    emit loaded(filename);
    return ProfileFileError::kSuccess;
}

QStringList ProfileStore::applyRecord(const ProfileRecord &record)
{
    QStringList corrected;
    const auto within = [this, &record, &corrected](PanelField field, int k) {
        const FieldLimits limits = FieldLimits::of(field, m_model.limits());
        const float v = limited(record.values[k], limits.lower, limits.upper);
        if (!(v == record.values[k]))
            corrected << QStringLiteral("%1: %2 \u2192 %3").arg(field.displayName(), StrOf(record.values[k]), StrOf(v));
        return v;
    };
    int k = 0;
    for (int i = 0; i <= 2; ++i) {
        const PanelField field = PanelField::value(i);
        const float v = within(field, k);
        // Set values go to the supply as they stand, so they always carry a point.
        m_model.setFieldText(field, FirstCommaToPoint(StrOf(v)));
        m_model.markField(field, CommandSource::Profile);
        if (i == 1 || i == 2)
            m_model.requestSwitch(i, v == 0.0f ? SupplyModel::SwitchRequest::Off : SupplyModel::SwitchRequest::On,
                                   CommandSource::Profile);
        ++k;
    }
    for (int i = 3; i < kModuleCount; ++i) {
        const float gain = within(PanelField::gain(i), k);
        m_model.setFieldText(PanelField::gain(i), StrOf(gain));
        m_model.markField(PanelField::gain(i), CommandSource::Profile);
        ++k;
        if (PanelField::offset(i).exists()) {
            const float offset = within(PanelField::offset(i), k);
            m_model.setFieldText(PanelField::offset(i), StrOf(offset));
            m_model.markField(PanelField::offset(i), CommandSource::Profile);
            ++k;
        }
    }
    return corrected;
}

int ProfileStore::save(const QString &filename)
{
    ProfileRecord record;
    for (int k = 0; k < int(kPanelFields.size()); ++k)
        record.values[k] = ValOf(m_model.fieldText(kPanelFields[k]));
    record.values[ProfileRecord::kReservedIndex] = 0.0f;
    const QByteArray bytes = record.encode();

    // Written beside the old file and renamed over it only when complete, so that a failed
    // save never destroys an existing profile. Unbuffered on purpose: QSaveFile::commit()
    // ignores a failed flush of its write buffer and would rename a truncated file over the
    // old one; unbuffered, every failed write is seen here and recorded by QSaveFile itself.
    QSaveFile file(filename);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int systemError = errno;
        reportFileError(kSaveVerb, file.errorString());
        return ProfileFileError::forOpen(filename, true, systemError);
    }
    errno = 0;
    // A short write (file size limit, disk filling up) is retried, so the next write reports why.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    const bool complete = done == bytes.size() && file.commit();
    if (!complete) {
        const int systemError = errno;
        // Not committed: the destructor discards the new file and the old one stays untouched.
        reportFileError(kSaveVerb, file.errorString());
        return ProfileFileError::forTransfer(systemError);
    }
    setFilename(filename);
    emit saved(filename);
    return ProfileFileError::kSuccess;
}
