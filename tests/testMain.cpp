// Entry point of every unit-test program: a QCoreApplication exists for the
// whole run, so tests can use timers, sockets and nested event loops.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
