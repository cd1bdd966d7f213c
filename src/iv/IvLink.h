#pragma once

#include "remote/LinkExtension.h"

#include <QObject>
#include <QString>

class IvMeasurement;
struct IvStep;

// The I(V) measurement's part of the control link:
//   IV START <E1> <E2> <S> <T> <folder>  -> OK <n>, then IVSTEP <k> <E> <I0> <frame file> after each
//                                         step and END <k> complete|stopped [reason] at the end
//   IV STOP                              -> OK (from any conversation, also when none runs)
//   REQUEST IV                           -> DATA idle | DATA running <k> <n> <folder>
// It measures with the camera, exposure, dark frame and spots set in the window. A relative
// folder is taken inside the measurements' base folder; the frame file is relative to the
// folder; numbers carry a point.
class IvLink : public QObject, public LinkExtension
{
    Q_OBJECT
public:
    enum ErrorNumber : int {
        kErrorMissingArgument = 2,
        kErrorRunning = 9,
        kErrorRefused = 10,
    };
    static inline const QString kItem = QStringLiteral("IV");

    explicit IvLink(IvMeasurement &measurement, QObject *parent = nullptr);

    std::optional<LinkAnswer> handle(const void *conversation, const QString &verb, const QString &argument) override;
    std::optional<QString> itemText(const QString &item) const override;
    QStringList itemNames() const override { return {kItem}; }
    // The conversation ended: a measurement it started stops.
    void conversationEnded(const void *conversation) override;

signals:
    void lineForConversation(const void *conversation, const QString &line);

private:
    QString start(const void *conversation, const QString &argument);
    void publishStep(const IvStep &step);
    void publishEnd(int stepsDone, bool complete, const QString &error);

    IvMeasurement &m_measurement;
    const void *m_owner = nullptr;
};
