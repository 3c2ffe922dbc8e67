// The data options window's online frame: the probe, the update from the online database, and
// the submission of guns and projectiles.
#include "frm_pellet.h"

#include "data_options/online_exchange.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/http_client.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "storage/pellet_store.h"
#include "storage/settings_store.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

QUrl frmPellet::relayAddress()
{
    return QUrl(settings::read(settings::kWebService) + QStringLiteral("/relay.php"));
}

void frmPellet::say(const QString& text)
{
    m_main.services().prompt->message(text);
}

void frmPellet::setOnline(bool reachable)
{
    btnUpdate->setText(reachable ? QStringLiteral("Update Database from Internet")
                                 : QStringLiteral("Internet connection not found."));
    for (QWidget* control : onlineControls())
        control->setEnabled(reachable);
}

void frmPellet::probeOnline()
{
    HttpClient* http = m_main.services().http;
    if (!http || m_probing)
        return;
    // Asked in the background: a dead or silent host must not freeze the window.
    m_probing = true;
    http->postAsync(relayAddress(), online::updateListRequest(), probeTimeoutMs, this,
                    [this](const HttpClient::Reply& reply) {
                        m_probing = false;
                        setOnline(reply.completed && reply.status == 200);
                    });
}

void frmPellet::btnUpdate_Click()
{
    HttpClient* http = m_main.services().http;
    if (!m_main.services().prompt->confirm(QStringLiteral("Velmora will now attempt to connect to the internet and "
                                                          "update the pellet and gun databases.  Are you sure?")))
        return;
    const HttpClient::Reply reply =
        http ? http->post(relayAddress(), online::updateListRequest(), exchangeTimeoutMs) : HttpClient::Reply{};
    if (!reply.completed || reply.status != 200) {
        say(QStringLiteral("Error: No Connection to server."));
        return;
    }
    const online::Answer answer = online::readAnswer(reply.body);
    if (!answer.hasStatus)
        return;
    if (answer.status == QLatin1String("BAD")) {
        say(QStringLiteral("Error: Please try again."));
        return;
    }
    if (answer.status != QLatin1String("OK"))
        return;
    PelletStore* store = m_main.services().store;
    // Both tables change together or not at all: a bad answer must not leave them half replaced.
    QString problem = answer.invalid.isEmpty()
                          ? QString()
                          : QStringLiteral("the entry \"%1\" has no readable number").arg(answer.invalid);
    if (problem.isEmpty())
        problem = store ? store->replaceTables(answer.pellets, answer.guns)
                        : QStringLiteral("the local database is not open");
    if (!problem.isEmpty()) {
        say(QStringLiteral("The update could not be stored: %1. The local database is unchanged.").arg(problem));
        return;
    }
    fillCalibres();
    lstGunMake->clear();
    fillGunMakes(false);
}

void frmPellet::btnAddGun_Click()
{
    if (!m_main.services().prompt->confirm(
            QStringLiteral("This gun will now be submitted for inclusion in the global database.  Are you sure?")))
        return;
    HttpClient* http = m_main.services().http;
    const HttpClient::Reply reply =
        http ? http->post(relayAddress(),
                          online::submitGunRequest(lstGunType->currentText(), txtAddGunMake->text(),
                                                   txtAddGunModel->text()),
                          exchangeTimeoutMs)
             : HttpClient::Reply{};
    const online::Answer answer = online::readAnswer(reply.body);
    if (!reply.completed || reply.status != 200 || !answer.hasStatus || answer.status != QLatin1String("OK")) {
        say(QStringLiteral("There Was an error submitting this gun.  Please try direct on the website if you continue "
                           "to have problems."));
        return;
    }
    say(QStringLiteral("The gun has been submitted and will be added to the global database once it has been "
                       "checked."));
    txtAddGunMake->clear();
    txtAddGunModel->clear();
}

void frmPellet::btnAddPellet_Click()
{
    const double weight = regional::toNumber(txtAddWeight->text()).value_or(0);
    if (weight == 0) {
        say(QStringLiteral("You cannot submit a projectile without a weight."));
        return;
    }
    if (!m_main.services().prompt->confirm(QStringLiteral(
            "This projectile will now be submitted for inclusion in the global database.  Are you sure?")))
        return;
    if (selAddWeight->isSelected(1)) {
        txtAddWeight->setText(regional::format3(weight / ballistics::kGrainsPerGramme));
        // The field now holds grammes, and its unit says so: a retry must not divide again.
        const QSignalBlocker noConversion(selAddWeight);
        selAddWeight->select(0);
    }
    HttpClient* http = m_main.services().http;
    const HttpClient::Reply reply =
        http ? http->post(relayAddress(),
                          online::submitProjectileRequest(txtAddCal->text(), txtAddPelMake->text(),
                                                          txtAddWeight->text()),
                          exchangeTimeoutMs)
             : HttpClient::Reply{};
    const online::Answer answer = online::readAnswer(reply.body);
    if (!reply.completed || reply.status != 200 || !answer.hasStatus || answer.status != QLatin1String("OK")) {
        say(QStringLiteral("There Was an error submitting this projectile.  Please try direct on the website if you "
                           "continue to have problems."));
        return;
    }
    say(QStringLiteral("The projectile has been submitted and will be added to the global database once it has been "
                       "checked."));
    txtAddPelMake->clear();
    txtAddWeight->setText(QStringLiteral("0"));
    txtAddCal->clear();
}
