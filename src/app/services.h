#pragma once
// The program's services: the log, the options, the accounts, the tree, the
// configuration, the templates, the session table, the tree store and the
// server. They are created here in the start-up order and destroyed in
// reverse; each is reachable through its accessor (TlogModel::instance(),
// opts(), Tvfs::instance(), cfg(), mainTpl(), TsessionTable::global(),
// TvfsStore::instance(), serve()) exactly while it is a member here.
#include "config/config.h"
#include "config/options.h"
#include "log/logModel.h"
#include "serve/serve.h"
#include "serve/session.h"
#include "tpl/mainTemplate.h"
#include "util/service.h"
#include "vfs/account.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

#include <optional>

struct Tservices
{
    Tservices();
    Tservices(const Tservices &) = delete;
    Tservices &operator=(const Tservices &) = delete;

    // The server goes at the end of the shutdown, before the options are
    // saved; what runs after that finds no server.
    void releaseServer() { server.reset(); }

    // First in, last out: every other service may log.
    Towned<TlogModel> log;
    Towned<Toptions> options;
    Towned<Taccounts> accounts;
    Towned<Tvfs> tree;
    Towned<Tconfig> config;
    Towned<Ttemplates> templates;
    Towned<TsessionTable> sessions;
    Towned<TvfsStore> treeStore;
    std::optional<Towned<Tserve>> server;
};
