#pragma once

#include "app/ClientRoleSwitch.h"
#include "app/PortSelection.h"
#include "app/ServerRoleSwitch.h"
#include "app/Settings.h"
#include "app/WindowControls.h"
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "net/SocketCodes.h"
#include "tests/support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// The window's role controls on a plain widget, wired to a server role on 127.0.0.1 and a
// client role, with a second server (`remote`) for the client to connect to.
class RoleFixture : public ::testing::Test {
protected:
    static constexpr int waitMs = 10000;

    RoleFixture()
    {
        server.setListenAddress(QHostAddress::LocalHost);
        remote.setListenAddress(QHostAddress::LocalHost);
        settings.setServerName(QStringLiteral("musikrummet"));
    }

    // Ticks the server box; with the client box ticked the scripted answers must include
    // "Både och?".
    void serverOn()
    {
        c.chkServer->setChecked(true);
        ASSERT_TRUE(server.isListening());
    }

    // A raw client of this server; true once it has its record.
    bool connectRawClient()
    {
        QSignalSpy accepted(&server, &ServerRole::clientAccepted);
        rawClients.push_back(std::make_unique<QTcpSocket>());
        rawClients.back()->connectToHost(QHostAddress::LocalHost, server.listeningPort());
        return accepted.wait(waitMs);
    }

    // The client box ticked and the client connected to `remote`.
    void connectClientToRemote()
    {
        ASSERT_TRUE(remote.listen(0));
        remoteSession.setAcceptNewClients(true);
        session.setPort(remote.listeningPort());
        c.chkClient->setChecked(true);
        dialogs.then(QStringLiteral("127.0.0.1"));
        c.cmdClient->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return c.cmdClient->text() == QStringLiteral("Koppla från"); }, waitMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return remote.isReady(1); }, waitMs));
    }

    // The only dialog shown: a question with this title and text, No by default.
    void expectOnlyQuestion(const QString &title, const QString &text)
    {
        ASSERT_EQ(dialogs.shown().size(), 1u);
        const MessageBoxRequest &m = dialogs.shown()[0].message;
        EXPECT_EQ(m.title, title);
        EXPECT_EQ(m.text, text);
        EXPECT_EQ(m.defaultButton, DialogAnswer::No);
    }

    std::vector<QString> titles() const
    {
        std::vector<QString> t;
        for (const ScriptedDialogs::Shown &s : dialogs.shown())
            t.push_back(s.kind == ScriptedDialogs::Kind::Message ? s.message.title : s.title);
        return t;
    }

    QWidget window;
    WindowControls c = createWindowControls(&window);
    ScriptedDialogs dialogs;
    Settings settings{[] { return QStringLiteral("TunveroRoleTest"); }};
    SessionState session;
    SessionState remoteSession;
    ServerRole server{session};
    ServerRole remote{remoteSession};
    ClientRole client{c.tmrClient};
    std::vector<bool> windowStates;
    std::vector<bool> stopsWithoutAsking;
    ServerRoleSwitch serverSwitch{
        c,
        dialogs,
        server,
        session,
        {.cmdServer_Click = [this] { stopsWithoutAsking.push_back(session.stopWithoutAsking()); },
         .applyWindowState = [this](bool on) { windowStates.push_back(on); }},
        nullptr};
    ClientRoleSwitch clientSwitch{c, dialogs, client, settings, session, nullptr};
    PortSelection portSelection{c, dialogs, client, session, nullptr};
    std::vector<std::unique_ptr<QTcpSocket>> rawClients;
};
