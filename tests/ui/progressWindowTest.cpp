// The progress window: nested parts, no going backward, cancel.
#include "ui/progressWindow.h"

#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

TEST(ProgressWindow, NestedPartsFillTheirShareOfTheBar)
{
    TprogressWindow w;
    w.showProgress(QStringLiteral("Working"));
    EXPECT_EQ(w.caption(), QStringLiteral("Working"));
    w.setProgress(0.2);
    EXPECT_EQ(w.barValue(), 20);
    w.push(0.5); // the next half of the bar from 20%
    w.setProgress(0.5);
    EXPECT_DOUBLE_EQ(w.progress(), 0.2 + 0.25);
    w.push(0.2); // a fifth of that half, from 45%
    w.setProgress(0.5);
    EXPECT_DOUBLE_EQ(w.progress(), 0.45 + 0.05);
    w.pop(); // completes it
    EXPECT_DOUBLE_EQ(w.progress(), 0.55);
    w.setProgress(0.8); // the half again: 20% + 0.8 of 50%
    EXPECT_DOUBLE_EQ(w.progress(), 0.6);
    w.pop(); // the half is done
    EXPECT_DOUBLE_EQ(w.progress(), 0.7);
    EXPECT_EQ(w.findChild<QProgressBar *>()->value(), 70);
    w.setProgress(0.9); // the outer part again
    EXPECT_DOUBLE_EQ(w.progress(), 0.9);
    // Going back is allowed unless prevented.
    w.setProgress(0.1);
    EXPECT_EQ(w.barValue(), 10);
    w.preventBackward = true;
    w.setProgress(0.05);
    EXPECT_EQ(w.barValue(), 10);
    w.setProgress(0.3);
    EXPECT_EQ(w.barValue(), 30);
}

TEST(ProgressWindow, CancelAndShowing)
{
    TprogressWindow w;
    w.showProgress(QStringLiteral("Copying"), true);
    EXPECT_FALSE(w.cancelButton()->isHidden());
    EXPECT_GE(w.width(), 200);
    w.setProgress(0.6);
    w.cancelButton()->click();
    EXPECT_TRUE(w.canceled());
    // Shown again while visible: the flag clears, the bar stays.
    w.showProgress(QStringLiteral("Copying more"));
    EXPECT_FALSE(w.canceled());
    EXPECT_EQ(w.barValue(), 60);
    w.hideProgress();
    EXPECT_TRUE(w.cancelButton()->isHidden());
    EXPECT_FALSE(w.isVisible());
    // Shown after hiding: an empty bar, and no cancel button unless asked.
    w.showProgress(QStringLiteral("Again"));
    EXPECT_EQ(w.barValue(), 0);
    EXPECT_TRUE(w.cancelButton()->isHidden());
    // A long caption widens the window.
    const int narrow = w.width();
    w.setCaption(QString(300, u'x'));
    EXPECT_GT(w.width(), narrow);
}
