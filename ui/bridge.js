// The page's only link to the plug-in: window.kelvoHost, which the editor
// view (or the browser harness) provides before the page's scripts run.
import { isObject } from './dom.js';

export function send(message) {
  const host = window.kelvoHost;
  if (host && typeof host.postMessage === 'function') host.postMessage(message);
}

// Registers one listener that hands every well-formed message to the handler
// named by its type; anything else, and unknown types, are ignored. Only then
// is the plug-in told the page is ready, so the hello cannot be missed.
export function connect(handlers) {
  const host = window.kelvoHost;
  if (!host || typeof host.onMessage !== 'function') return false;
  host.onMessage((message) => {
    if (!isObject(message) || typeof message.type !== 'string') return;
    if (!Object.hasOwn(handlers, message.type)) return;
    handlers[message.type](message);
  });
  send({ type: 'kelvo.ready' });
  return true;
}
