// Start-up with arbitrary texts in every setting the program reads back.
#include "fuzz_app.h"
#include "main_window/frm_main.h"
#include "test_app.h"

#include <QSettings>

VELMORA_FUZZ_WITH_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ensureApplication();
    static const char* const kKeys[] = {"txtComm",   "chronoType", "txtWeight", "txtMake",  "txtModel",
                                        "txtPelletMake", "txtCaliber", "optType", "optSpeed", "optPower",
                                        "selWeight", "txtCalibration", "ShowTips"};
    const QList<QByteArray> values = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    TestApp::clearSettings();
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"), QStringLiteral("Velmora"));
        for (int i = 0; i < values.size() && i < 13; ++i)
            s.setValue(QStringLiteral("Settings/") + QLatin1String(kKeys[i]), QString::fromLatin1(values[i]));
    }
    TestApp app(true);
    frmMain& m = app.start();
    m.updateTotals();
    return 0;
}
