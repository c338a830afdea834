// Variable lists with attached tables, and the encoded table form.
#include "script/varList.h"
#include "scriptTestTools.h"

#include <gtest/gtest.h>

TEST(VarList, SetDeleteAndTables)
{
    TvarList v;
    EXPECT_FALSE(v.setVar(QStringLiteral("a"), QString())); // nothing to delete
    EXPECT_TRUE(v.setVar(QStringLiteral("A"), QStringLiteral("1")));
    EXPECT_EQ(v.value(QStringLiteral("a")), QStringLiteral("1"));
    v.setTable(QStringLiteral("a"), tableFromText(QStringLiteral("k=v")));
    ASSERT_TRUE(v.table(QStringLiteral("A")));
    EXPECT_TRUE(v.setVar(QStringLiteral("a"), QStringLiteral("2"))); // a new text drops the table
    EXPECT_FALSE(v.table(QStringLiteral("a")));
    EXPECT_TRUE(v.setVar(QStringLiteral("a"), QString()));
    EXPECT_FALSE(v.contains(QStringLiteral("a")));
    // Names matching only after Unicode folding are different names.
    v.setVar(QStringLiteral("é"), QStringLiteral("x"));
    EXPECT_FALSE(v.contains(QStringLiteral("É")));
}

TEST(VarList, EncodedTablesKeepLineBreaksAndBackslashes)
{
    auto t = std::make_shared<TnameValueList>();
    t->append(QStringLiteral("plain"), QStringLiteral("v"));
    t->append(QStringLiteral("multi"), QStringLiteral("line1\r\nline2\nline3"));
    t->append(QStringLiteral("path"), QStringLiteral("c:\\new\\x"));
    EXPECT_TRUE(tableNeedsEncoding(*t));
    const QString enc = encodeTable(*t);
    EXPECT_TRUE(isEncodedTable(enc));
    EXPECT_EQ(enc.count(QLatin1String("\r\n")), 4); // the header and one line per entry
    const TvarTable back = decodeTable(enc);
    EXPECT_EQ(back->value(QStringLiteral("plain")), QStringLiteral("v"));
    EXPECT_EQ(back->value(QStringLiteral("multi")), QStringLiteral("line1\r\nline2\r\nline3"));
    EXPECT_EQ(back->value(QStringLiteral("path")), QStringLiteral("c:\\new\\x"));
    EXPECT_FALSE(isEncodedTable(QStringLiteral("This is an encoded table\r\n")));

    TvarList v;
    v.setTableVar(QStringLiteral("t"), back);
    EXPECT_EQ(v.table(QStringLiteral("t")), back);
    EXPECT_TRUE(v.value(QStringLiteral("t")).startsWith(QLatin1String("plain=v\r\nmulti=line1")));
    EXPECT_FALSE(tableNeedsEncoding(*tableFromText(QStringLiteral("a=1\nb=2"))));
}
