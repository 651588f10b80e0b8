// The web page inside the helper: an ephemeral WebKit view serving the UI
// folder under the "kelvo-ui" scheme, giving the page window.kelvoHost, and
// passing messages both ways.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>
#include <string_view>

namespace kelvo::helper {

class Page {
  public:
    // Receives every text the page posts to the "kelvo" handler.
    using MessageSink = std::function<void(std::string_view)>;

    Page(std::string uiRoot, MessageSink sink);
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    GtkWidget* widget() const { return GTK_WIDGET(view_); }
    // Loads the start address of the UI root.
    void load();
    // Hands one controller text to the page's listeners; held back until the
    // page has finished loading.
    void deliver(std::string_view json);

  private:
    static void serve(WebKitURISchemeRequest* request, gpointer self);
    static void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer);
    void evaluate(const std::string& script);

    std::string uiRoot_;
    MessageSink sink_;
    WebKitWebView* view_ = nullptr;
    bool loaded_ = false;
    std::string pending_;  // scripts waiting for the load to finish
};

}  // namespace kelvo::helper
