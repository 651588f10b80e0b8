// The script the harness puts at the top of every page it serves: the same
// window.kelvoHost the editor view injects, carried over a WebSocket to the
// harness instead of the view's message handler. Messages posted before the
// socket opens wait for it; texts from the controller arrive as objects.
#pragma once

namespace kelvo::harness {

inline constexpr const char* BRIDGE_SHIM = R"JS(<script>
(function () {
  if (window.kelvoHost) { return; }
  var handlers = [];
  var waiting = [];
  var socket = new WebSocket('ws://' + location.host + '/bridge');
  socket.onopen = function () {
    for (var i = 0; i < waiting.length; i += 1) { socket.send(waiting[i]); }
    waiting = [];
  };
  socket.onmessage = function (event) {
    var message;
    try { message = JSON.parse(event.data); } catch (error) { console.error(error); return; }
    window.kelvoHost._deliver(message);
  };
  window.kelvoHost = {
    postMessage: function (message) {
      var text = JSON.stringify(message);
      if (socket.readyState === 1) { socket.send(text); } else { waiting.push(text); }
    },
    onMessage: function (handler) { handlers.push(handler); },
    _deliver: function (message) {
      for (var i = 0; i < handlers.length; i += 1) {
        try { handlers[i](message); } catch (error) { console.error(error); }
      }
    }
  };
})();
</script>
)JS";

}  // namespace kelvo::harness
