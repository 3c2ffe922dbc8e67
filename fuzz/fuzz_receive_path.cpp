// Arbitrary bytes through the main window's serial receive path, live and in the memory modes:
// the first byte picks the family and the mode, the rest arrives in chunks.
#include "fuzz_app.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "device_windows/frm_options.h"
#include "main_window/option_group.h"
#include "test_app.h"

#include <cmath>
#include <cstdlib>

VELMORA_FUZZ_WITH_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    ensureApplication();
    TestApp* app = &startedApp();
    frmMain& m = app->main();
    m.options().chronoType->select(1 + data[0] % 4 == 3 ? 4 : 1 + data[0] % 4);
    m.session().chrony_data = (data[0] & 0x10) != 0;
    m.session().prochrono_data = false;
    const int rowsBefore = m.MSFlexGrid1->Rows();
    size_t at = 1;
    while (at < size) {
        const size_t chunk = std::min<size_t>(size - at, 1 + data[at] % 16);
        app->serial->feed(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(chunk)));
        at += chunk;
        if (data[at - 1] == 0xFF)
            m.Timer1_Timer();
    }
    for (int r = rowsBefore; r < m.MSFlexGrid1->Rows(); ++r)
        if (!std::isfinite(m.MSFlexGrid1->TextMatrix(r, 4).toDouble()))
            std::abort();
    if (m.MSFlexGrid1->Rows() > 2000)
        m.MSFlexGrid1->setRows(1);
    return 0;
}
