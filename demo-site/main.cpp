// ondrix-demo-site: the two loopback web sites the client talks to during
// development and tests, served from one process on two ports.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <httplib.h>
#include <pthread.h>
#include <string>
#include <thread>

#include "catalogue.h"
#include "hostile.h"
#include "options.h"
#include "routes.h"

using namespace demosite;

namespace {

bool bindServer(httplib::Server &srv, const std::string &host, int &port)
{
    // The library's default adds SO_REUSEPORT, with which a second demo site
    // on a taken port starts "fine" and the kernel splits connections between
    // the two. Without it, a taken port is an error.
    srv.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<void *>(&yes), sizeof yes);
    });
    if (port == 0) {
        port = srv.bind_to_any_port(host);
        return port > 0;
    }
    return srv.bind_to_port(host, port);
}

// Serves both sites until SIGINT or SIGTERM; the exit code.
int serve(const Catalogue &cat, const Options &opt)
{
    // Block the stop signals before any server thread exists so that only
    // sigwait() below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    httplib::Server site;
    httplib::Server home;
    // Slow and endless responses each hold a thread for as long as their
    // client stays; the default pool (8 on a small machine) would let a few of
    // them starve everyone else.
    site.new_task_queue = [] { return new httplib::ThreadPool(64); };
    home.new_task_queue = [] { return new httplib::ThreadPool(16); };
    setupResourceSite(site, cat, opt);
    setupHomeSite(home, opt);
    int sitePort = opt.sitePort;
    int homePort = opt.homePort;
    if (!bindServer(site, opt.bind, sitePort)) {
        std::fprintf(stderr, "ondrix-demo-site: cannot listen on %s:%d\n", opt.bind.c_str(), sitePort);
        return 1;
    }
    if (!bindServer(home, opt.homeBind, homePort)) {
        std::fprintf(stderr, "ondrix-demo-site: cannot listen on %s:%d\n", opt.homeBind.c_str(), homePort);
        return 1;
    }

    std::thread siteThread([&site] { site.listen_after_bind(); });
    std::thread homeThread([&home] { home.listen_after_bind(); });
    // Announce only once both accept loops run; stop() is a no-op before that.
    while (!site.is_running() || !home.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::printf("resource site: http://%s:%d\nhome site: http://%s:%d\n", opt.bind.c_str(), sitePort,
                opt.homeBind.c_str(), homePort);
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    std::fprintf(stderr, "ondrix-demo-site: stopping on signal %d\n", sig);
    g_stopping = true;
    site.stop();
    home.stop();
    siteThread.join();
    homeThread.join();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options opt;
    if (const int rc = parseOptions(argc, argv, opt); rc >= 0)
        return rc;
    if (opt.catalogue.empty())
        opt.catalogue = defaultCatalogue();
    // Another run of the site, even at the same address, hands out other links.
    if (opt.expiringLinks)
        opt.token = std::to_string(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());

    Catalogue cat;
    std::string error;
    if (!cat.load(opt.catalogue, error)) {
        std::fprintf(stderr, "ondrix-demo-site: %s\n", error.c_str());
        return 1;
    }
    if (opt.dump)
        return dumpFile(cat, opt.dumpId, opt.revision);
    return serve(cat, opt);
}
