#include "util/nameValueList.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

TEST(NameValueList, LinesFirstAnswersCaseFolded)
{
    auto list = TnameValueList::fromText(QStringLiteral("Port=80\r\nname=a=b\nPORT=81\n\nflag\r\n"));
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(list.value(QStringLiteral("port")), QStringLiteral("80"));
    EXPECT_EQ(list.value(QStringLiteral("NAME")), QStringLiteral("a=b"));
    EXPECT_TRUE(list.contains(QStringLiteral("FLAG")));
    EXPECT_EQ(list.value(QStringLiteral("flag"), QStringLiteral("def")), QString());
    EXPECT_EQ(list.value(QStringLiteral("none"), QStringLiteral("def")), QStringLiteral("def"));
    EXPECT_EQ(list.indexOf(QStringLiteral("port")), 0);

    list.set(QStringLiteral("port"), QStringLiteral("8080"));
    EXPECT_EQ(list.value(QStringLiteral("Port")), QStringLiteral("8080"));
    EXPECT_EQ(list.valueAt(2), QStringLiteral("81"));
    list.set(QStringLiteral("new"), QString());
    EXPECT_EQ(list.remove(QStringLiteral("pOrt")), 2);
    EXPECT_FALSE(list.contains(QStringLiteral("port")));
    EXPECT_EQ(list.toText(), QStringLiteral("name=a=b\r\nflag\r\nnew="));
    // What was written reads back the same.
    EXPECT_EQ(TnameValueList::fromText(list.toText()).toText(), list.toText());
}

TEST(NameValueList, QueryAndHeaders)
{
    auto query = TnameValueList::fromText(QStringLiteral("a=1&&b=&c&a=2"), '=', "&");
    EXPECT_EQ(query.count(), 4);
    EXPECT_EQ(query.value(QStringLiteral("A")), QStringLiteral("1"));
    EXPECT_TRUE(query.contains(QStringLiteral("c")));
    EXPECT_EQ(query.toText(), QStringLiteral("a=1&b=&c&a=2"));

    auto headers = TnameValueBytes::fromText("Host: example\r\nContent-Length:  12 \r\nX-Empty:\r\n", ':');
    EXPECT_EQ(headers.value("host"), QByteArray("example"));
    EXPECT_EQ(headers.value("CONTENT-LENGTH"), QByteArray("12"));
    EXPECT_TRUE(headers.contains("x-empty"));
    headers.set("Connection", "close");
    EXPECT_EQ(headers.toText(), QByteArray("Host: example\r\nContent-Length: 12\r\nX-Empty: \r\nConnection: close"));
}

TEST(NameValueList, ThousandsOfLines)
{
    QString text;
    for (int i = 0; i < 10000; ++i)
        text += QStringLiteral("Key%1=v%1\n").arg(i);
    text += QStringLiteral("key5=duplicate\n");
    QElapsedTimer timer;
    timer.start();
    auto list = TnameValueList::fromText(text);
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(list.value(QStringLiteral("KEY%1").arg(i)), QStringLiteral("v%1").arg(i));
    EXPECT_EQ(list.value(QStringLiteral("key5")), QStringLiteral("v5"));
    // The index follows removals and additions.
    list.removeAt(5);
    EXPECT_EQ(list.value(QStringLiteral("key5")), QStringLiteral("duplicate"));
    EXPECT_EQ(list.value(QStringLiteral("key6")), QStringLiteral("v6"));
    list.append(QStringLiteral("added"), QStringLiteral("x"));
    EXPECT_EQ(list.indexOf(QStringLiteral("ADDED")), list.count() - 1);
    list.append(QStringLiteral("key7"), QStringLiteral("late"));
    EXPECT_EQ(list.value(QStringLiteral("key7")), QStringLiteral("v7"));
    EXPECT_LT(timer.elapsed(), 3000);
}

namespace {
qsizetype countOf(const TnameValueList &list = {})
{
    return list.count();
}
} // namespace

TEST(NameValueList, DefaultArgumentAndCopies)
{
    EXPECT_EQ(countOf(), 0);
    TnameValueList a = TnameValueList::fromText(QStringLiteral("x=1"));
    TnameValueList b = a;
    b.set(QStringLiteral("x"), QStringLiteral("2"));
    EXPECT_EQ(a.value(QStringLiteral("x")), QStringLiteral("1"));
    EXPECT_EQ(b.value(QStringLiteral("x")), QStringLiteral("2"));
    EXPECT_EQ(countOf(b), 1);
}
