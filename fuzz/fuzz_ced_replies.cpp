// Replies of a CED M2 through the poll and the dump: a device that answers with these bytes.
#include "drivers/ced_driver.h"
#include "fuzz_app.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "test_app.h"

#include <QObject>
#include <cstdlib>

namespace {
// A HID control whose every read returns the next eight bytes of the input.
class ReplyingControl : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Connected READ connected)
public:
    bool connected() const { return true; }
    Q_INVOKABLE void WriteTo(const QByteArray&, int) {}
    Q_INVOKABLE QByteArray ReadFrom(int size)
    {
        QByteArray reply = input.mid(at, size + 1);
        at += size;
        reply.resize(size + 1);
        return reply;
    }
    Q_INVOKABLE void Disconnect() {}
    Q_INVOKABLE void Uninit() {}
    QByteArray input;
    qsizetype at = 0;
};
} // namespace

VELMORA_FUZZ_WITH_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ensureApplication();
    TestApp* app = &startedApp();
    frmMain& m = app->main();
    ReplyingControl control;
    control.input = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
    m.session().DevPort1 = &control;
    m.session().ced = CedState{};
    for (int poll = 0; poll < 4 && control.at < control.input.size(); ++poll)
        cedPoll(m);
    m.session().DevPort1 = nullptr;
    if (m.MSFlexGrid1->Rows() > 2000)
        m.MSFlexGrid1->setRows(1);
    return 0;
}

#include "fuzz_ced_replies.moc"
