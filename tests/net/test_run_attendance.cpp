// Who takes part in a run: clients of the start, ones that come late or leave, and reports of
// every song held, before, during and after a run. (The wiring to a real server role is tested
// with the window's run.)
#include "net/RunAttendance.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(RunAttendance, CountsTheClientsOfTheRunThoseWhoHoldEverySongAndWhoComesAndGoes)
{
    RunAttendance house;
    std::vector<std::string> events;
    const auto note = [&](const char *word) {
        return [&events, word](int index, int inRun, int holdingAll) {
            events.push_back(std::string(word) + ' ' + std::to_string(index) + ' ' + std::to_string(inRun) + ' ' +
                             std::to_string(holdingAll));
        };
    };
    QObject::connect(&house, &RunAttendance::joined, note("joined"));
    QObject::connect(&house, &RunAttendance::left, note("left"));
    QObject::connect(&house, &RunAttendance::holdsAll, note("holds"));
    QSignalSpy run(&house, &RunAttendance::runChanged);

    // Outside a run nothing counts.
    house.clientReady(1);
    house.allFilesLoaded(1);
    house.clientGone(1);
    house.runStarted({1, 2});
    EXPECT_EQ(run.takeFirst(), (QList<QVariant>{true, 2, 0}));

    house.allFilesLoaded(1);
    house.allFilesLoaded(1); // a repeat counts once
    house.clientReady(2);    // in the run already
    house.clientReady(4);
    house.allFilesLoaded(4);
    house.allFilesLoaded(9); // not ready: not in the run
    house.clientGone(1);     // leaves mid-run, holding every song
    house.clientGone(7);
    house.clientReady(1); // the index taken again by a newcomer, who holds nothing yet
    EXPECT_EQ(events,
              (std::vector<std::string>{"holds 1 2 1", "joined 4 3 1", "holds 4 3 2", "left 1 2 1", "joined 1 3 1"}));
    EXPECT_EQ(house.inRun(), 3);
    EXPECT_EQ(house.holdingAll(), 1);

    house.runStopped();
    EXPECT_EQ(run.takeFirst(), (QList<QVariant>{false, 0, 0}));
    house.clientReady(5);
    house.allFilesLoaded(2);
    house.clientGone(4);
    EXPECT_EQ(events.size(), 5u);
    EXPECT_EQ(house.inRun() + house.holdingAll(), 0);
}
