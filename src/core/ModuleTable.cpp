#include "core/ModuleTable.h"

void ModuleTable::fill(qint16 powerSupply)
{
    ModuleCode[0] = QStringLiteral("EN");
    ValueMin[0] = 0.0f;
    ValueMax[0] = 1000.0f;
    ValueStep[0] = 1.0f;
    ModuleCode[1] = cathodeCodeFor(powerSupply, ModuleCode[1]);
    ValueMin[1] = 0.0f;
    ValueMax[1] = 2.3f;
    ValueStep[1] = 0.01f;
    ModuleCode[2] = QStringLiteral("SC");
    ValueMin[2] = 0.0f;
    ValueMax[2] = 10.0f;
    ValueStep[2] = 1.0f;

    struct Row { const char *code; float gMin, gMax, oMin, oMax; bool offset; };
    static const Row rows[] = {
        {"WE", -150.0f, 0.0f, -150.0f, 0.0f, true},
        {"AN", 0.0f, 500.0f, 0.0f, 500.0f, true},
        {"L1", 0.0f, 3000.0f, -20.0f, 100.0f, true},
        {"SU", 0.0f, 500.0f, 0.0f, 0.0f, false},
        {"L2", 0.0f, 3000.0f, -20.0f, 100.0f, true},
    };
    for (int i = 3; i < kModuleCount; ++i) {
        const Row &row = rows[i - 3];
        ModuleCode[i] = QString::fromLatin1(row.code);
        GainMin[i] = row.gMin;
        GainMax[i] = row.gMax;
        GainStep[i] = 1.0f;
        if (row.offset) {
            OffsetMin[i] = row.oMin;
            OffsetMax[i] = row.oMax;
            OffsetStep[i] = 1.0f;
        }
    }
}

QString ModuleTable::cathodeCodeFor(qint16 powerSupply, const QString &previous)
{
    if (powerSupply == 0)
        return QStringLiteral("CA");
    if (powerSupply == 1)
        return QStringLiteral("FI");
    return previous;
}

int ModuleTable::indexOfCode(const QString &code)
{
    static const char *codes[] = {"EN", "CA", "SC", "WE", "AN", "L1", "SU", "L2"};
    if (code == QLatin1String("FI"))
        return 1;
    for (int i = 0; i < kModuleCount; ++i)
        if (code == QLatin1String(codes[i]))
            return i;
    return -1;
}

QString ModuleTable::caption(int module)
{
    static const char *const captions[kModuleCount] = {
        "&Energy (eV)", "&Cathode (A)", "Scree&n (kV)", "&Wehnelt (V)",
        "&Anode (V)", "L&1/3 (V)", "&Supressor (V)", "L&2 (V)",
    };
    return module >= 0 && module < kModuleCount ? QString::fromLatin1(captions[module]) : QString();
}
