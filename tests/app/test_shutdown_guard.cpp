#include "app/ShutdownGuard.h"
#include "tests/support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QObject>

#include <gtest/gtest.h>

namespace {

// Two role boxes whose switch-off the user may refuse, as the role reactions let them.
struct RoleBoxes {
    QCheckBox server;
    QCheckBox client;
    bool refuseServerOff = false;
    bool refuseClientOff = false;

    RoleBoxes()
    {
        QObject::connect(&server, &QCheckBox::toggled, &server, [this](bool on) {
            if (!on && refuseServerOff)
                server.setChecked(true);
        });
        QObject::connect(&client, &QCheckBox::toggled, &client, [this](bool on) {
            if (!on && refuseClientOff)
                client.setChecked(true);
        });
    }
};

const QString unsavedQuestion = QStringLiteral("Vill du verkligen avsluta eftersom att du har en osparad playlist?");

} // namespace

TEST(ShutdownGuard, AsksAboutAnUnsavedPlaylistOnlyOnAServerWithChanges)
{
    ScriptedDialogs dialogs;
    RoleBoxes boxes;
    ShutdownGuard guard(dialogs, &boxes.server, &boxes.client);

    EXPECT_TRUE(guard.mayClose({true, true, false}));
    EXPECT_TRUE(guard.mayClose({false, true, true}));
    EXPECT_TRUE(guard.mayClose({true, false, true}));
    EXPECT_TRUE(dialogs.shown().empty());

    boxes.server.setChecked(true);
    dialogs.then(DialogAnswer::No);
    EXPECT_FALSE(guard.mayClose({true, true, true}));
    const MessageBoxRequest &asked = dialogs.last().message;
    EXPECT_EQ(asked.text, unsavedQuestion);
    EXPECT_EQ(asked.title, QStringLiteral("Avsluta?"));
    EXPECT_EQ(asked.buttons, DialogButtons::YesNo);
    EXPECT_EQ(asked.icon, DialogIcon::Question);
    EXPECT_EQ(asked.defaultButton, DialogAnswer::No);
    EXPECT_TRUE(boxes.server.isChecked());

    dialogs.then(DialogAnswer::Yes);
    EXPECT_TRUE(guard.mayClose({true, true, true}));
    EXPECT_FALSE(boxes.server.isChecked());
}

TEST(ShutdownGuard, KeepsTheWindowWhileARoleRefusesToStopAndStopsOnlyTheServerOfTwo)
{
    ScriptedDialogs dialogs;
    RoleBoxes boxes;
    ShutdownGuard guard(dialogs, &boxes.server, &boxes.client);
    boxes.server.setChecked(true);
    boxes.client.setChecked(true);

    boxes.refuseServerOff = true;
    EXPECT_FALSE(guard.mayClose({}));
    EXPECT_TRUE(boxes.server.isChecked());

    boxes.refuseServerOff = false;
    EXPECT_TRUE(guard.mayClose({}));
    EXPECT_FALSE(boxes.server.isChecked());
    EXPECT_TRUE(boxes.client.isChecked());

    boxes.refuseClientOff = true;
    EXPECT_FALSE(guard.mayClose({}));
    boxes.refuseClientOff = false;
    EXPECT_TRUE(guard.mayClose({}));
    EXPECT_FALSE(boxes.client.isChecked());
    EXPECT_TRUE(dialogs.shown().empty());
}
