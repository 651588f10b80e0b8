#include "helper_page.h"

#include <cstring>
#include <optional>
#include <utility>

#include "ui_files.h"

namespace kelvo::helper {

namespace {

constexpr const char* SCHEME = "kelvo-ui";

// Gives the page window.kelvoHost; the runs of blanks are part of the text.
constexpr const char* HOST_SCRIPT =
    "(function () {  if (window.kelvoHost) { return; }  var handlers = [];  window.kelvoHost = {  "
    "  postMessage: function (message) {      "
    "window.webkit.messageHandlers.kelvo.postMessage(JSON.stringify(message));    },    "
    "onMessage: function (handler) { handlers.push(handler); },    _deliver: function (message) "
    "{      for (var i = 0; i < handlers.length; i += 1) {        try { handlers[i](message); } "
    "catch (error) { console.error(error); }      }    }  };})();";

void failNotFound(WebKitURISchemeRequest* request) {
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

bool allowedAddress(const char* uri) {
    return uri != nullptr &&
           (std::strncmp(uri, "kelvo-ui:", 9) == 0 || std::strcmp(uri, "about:blank") == 0);
}

}  // namespace

Page::Page(std::string uiRoot, MessageSink sink)
    : uiRoot_(std::move(uiRoot)), sink_(std::move(sink)) {
    WebKitWebContext* context = webkit_web_context_new_ephemeral();
    webkit_web_context_register_uri_scheme(context, SCHEME, &Page::serve, this, nullptr);
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserScript* script =
        webkit_user_script_new(HOST_SCRIPT, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    // Connected before registering, so no message can slip past.
    g_signal_connect(content, "script-message-received::kelvo", G_CALLBACK(&Page::onMessage), this);
    webkit_user_content_manager_register_script_message_handler(content, "kelvo");
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                         "user-content-manager", content, nullptr));
    g_object_unref(content);
    g_object_unref(context);
    g_signal_connect(view_, "load-changed", G_CALLBACK(&Page::onLoadChanged), this);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(&Page::onDecidePolicy), nullptr);
    // No reload, inspector or navigation entries: the page is the whole UI.
    g_signal_connect(view_, "context-menu", G_CALLBACK(+[] { return TRUE; }), nullptr);
}

void Page::load() {
    webkit_web_view_load_uri(view_, uiStartUrl(uiRoot_).c_str());
}

void Page::deliver(std::string_view json) {
    std::string script = "window.kelvoHost && window.kelvoHost._deliver(";
    script.append(json).append(");");
    if (loaded_) return evaluate(script);
    pending_.append(script).push_back('\n');
}

void Page::evaluate(const std::string& script) {
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
}

void Page::serve(WebKitURISchemeRequest* request, gpointer self) {
    const Page& page = *static_cast<const Page*>(self);
    const char* path = webkit_uri_scheme_request_get_path(request);
    const std::optional<std::string> file = resolveUiRequest(page.uiRoot_, path ? path : "");
    gchar* contents = nullptr;
    gsize length = 0;
    if (!file || !g_file_get_contents(file->c_str(), &contents, &length, nullptr))
        return failNotFound(request);
    GInputStream* stream = g_memory_input_stream_new_from_data(contents, length, g_free);
    WebKitURISchemeResponse* response =
        webkit_uri_scheme_response_new(stream, static_cast<gint64>(length));
    const std::string type(uiMimeType(*file));
    webkit_uri_scheme_response_set_status(response, 200, "OK");
    webkit_uri_scheme_response_set_content_type(response, type.c_str());
    // The page's fetch() sees response headers only when they are given.
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_append(headers, "Content-Type", type.c_str());
    webkit_uri_scheme_response_set_http_headers(response, headers);
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
}

// Only text bodies count; a text holding a newline would break the framing.
void Page::onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) return;
    gchar* text = jsc_value_to_string(value);
    if (text != nullptr && std::strchr(text, '\n') == nullptr)
        static_cast<Page*>(self)->sink_(text);
    g_free(text);
}

void Page::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    Page& page = *static_cast<Page*>(self);
    if (event == WEBKIT_LOAD_STARTED) page.loaded_ = false;
    if (event != WEBKIT_LOAD_FINISHED) return;
    page.loaded_ = true;
    if (!page.pending_.empty()) page.evaluate(std::exchange(page.pending_, std::string()));
}

gboolean Page::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                              WebKitPolicyDecisionType type, gpointer) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        if (allowedAddress(webkit_uri_request_get_uri(request))) return FALSE;
    }
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

}  // namespace kelvo::helper
