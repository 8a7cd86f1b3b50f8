#include "app/ShutdownGuard.h"
#include "tests/support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QObject>

#include <gtest/gtest.h>

namespace {

// A role box whose switch-off the user may refuse, as the role reactions let them.
struct RoleBox : QCheckBox {
    bool refuseOff = false;
    RoleBox()
    {
        setChecked(true);
        connect(this, &QCheckBox::toggled, this, [this](bool on) {
            if (!on && refuseOff)
                setChecked(true);
        });
    }
};

} // namespace

TEST(ShutdownGuard, AsksAboutAnUnsavedPlaylistOnlyOnAServerWithChanges)
{
    ScriptedDialogs dialogs;
    RoleBox server;
    QCheckBox client;
    ShutdownGuard guard(dialogs, &server, &client);
    server.setChecked(false);
    EXPECT_TRUE(guard.mayClose({true, true, false}));
    EXPECT_TRUE(guard.mayClose({false, true, true}));
    EXPECT_TRUE(guard.mayClose({true, false, true}));
    EXPECT_TRUE(dialogs.shown().empty());

    server.setChecked(true);
    dialogs.then(DialogAnswer::No);
    EXPECT_FALSE(guard.mayClose({true, true, true}));
    EXPECT_EQ(dialogs.last().message.text,
              QStringLiteral("Vill du verkligen avsluta eftersom att du har en osparad playlist?"));
    EXPECT_EQ(dialogs.last().message.defaultButton, DialogAnswer::No);
    EXPECT_TRUE(server.isChecked());
    dialogs.then(DialogAnswer::Yes);
    EXPECT_TRUE(guard.mayClose({true, true, true}));
    EXPECT_FALSE(server.isChecked());
}

TEST(ShutdownGuard, KeepsTheWindowWhileARoleRefusesToStopAndStopsOnlyTheServerOfTwo)
{
    ScriptedDialogs dialogs;
    RoleBox server;
    RoleBox client;
    ShutdownGuard guard(dialogs, &server, &client);
    for (RoleBox *role : {&server, &client}) {
        role->refuseOff = true;
        EXPECT_FALSE(guard.mayClose({}));
        EXPECT_TRUE(role->isChecked());
        role->refuseOff = false;
        EXPECT_TRUE(guard.mayClose({}));
        EXPECT_FALSE(role->isChecked());
        EXPECT_EQ(client.isChecked(), role == &server);
    }
    EXPECT_TRUE(dialogs.shown().empty());
}
