#include "app/ShutdownGuard.h"
#include "tests/support/ScriptedDialogs.h"

#include <QCheckBox>

#include <gtest/gtest.h>

namespace {

// A ticked role box whose switch-off the user may refuse, as the role reactions let them.
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

TEST(ShutdownGuard, AsksOnlyAboutAServersChangedPlaylistAndKeepsTheWindowWhileARoleRefusesToStop)
{
    ScriptedDialogs dialogs;
    RoleBox server;
    RoleBox client;
    ShutdownGuard guard(dialogs, &server, &client);
    // Only the server of the two roles is stopped, and a role that refuses keeps the window.
    for (RoleBox *role : {&server, &client}) {
        role->refuseOff = true;
        EXPECT_FALSE(guard.mayClose({}));
        role->refuseOff = false;
        EXPECT_TRUE(guard.mayClose({}));
        EXPECT_EQ(client.isChecked(), role == &server);
    }

    server.setChecked(true);
    for (const ShutdownGuard::State state :
         {ShutdownGuard::State{true, true, false}, {false, true, true}, {true, false, true}}) {
        EXPECT_TRUE(guard.mayClose(state));
        server.setChecked(true);
    }
    EXPECT_TRUE(dialogs.shown().empty());
    dialogs.then(DialogAnswer::No).then(DialogAnswer::Yes);
    EXPECT_FALSE(guard.mayClose({true, true, true}));
    EXPECT_EQ(dialogs.last().message.text,
              QStringLiteral("Vill du verkligen avsluta eftersom att du har en osparad playlist?"));
    EXPECT_TRUE(server.isChecked());
    EXPECT_TRUE(guard.mayClose({true, true, true}));
    EXPECT_FALSE(server.isChecked());
}
