#include "LinkRig.h"

#include "device/PortTable.h"

namespace {
constexpr int kBenchPort = 1;
}

LinkRig::LinkRig(const VirtualSupply::Options &options)
    : supply(options), line(state, sim, ui)
{
}

LinkRig::~LinkRig()
{
    line.close();
    supply.stop();
}

bool LinkRig::open(QString &why)
{
    if (!supply.start()) {
        why = QStringLiteral("the virtual supply did not start: ") + supply.errorString();
        return false;
    }
    const QString path = supply.devicePath();
    line.setPortFactory([path](int) { return PortTable::createForPath(path); });
    if (!line.open(kBenchPort)) {
        why = QStringLiteral("the link did not open ") + path;
        if (!ui.messages.isEmpty())
            why += QStringLiteral(": ") + ui.messages.last().text;
        return false;
    }
    return true;
}
