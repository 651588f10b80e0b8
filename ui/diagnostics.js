// The diagnostics panel: the plug-in's identity, host facts, preset state and
// runtime health as the controller reported them, and, while the user follows
// them, the lifecycle events and transport.
import { describe, el, isBool, isNumber, isObject, isString } from './dom.js';

const LIFECYCLE_SHOWN = 200;
const FEEDS = ['lifecycle', 'transport', 'host'];
const FEED_HZ = 10;

const scalar = (value) => isString(value) || isNumber(value) || isBool(value) || value === null;

// The scalar members of an object as term/detail pairs, in the order given.
function definitionList(object) {
  const rows = Object.entries(object).filter(([, value]) => scalar(value));
  return el('dl', {}, rows.flatMap(([key, value]) =>
    [el('dt', {}, key), el('dd', {}, value === null ? '—' : String(value))]));
}

function busText(bus) {
  if (!isObject(bus)) return '';
  const parts = [bus.direction, isNumber(bus.channels) ? `${bus.channels} ch` : null,
    bus.active === true ? 'active' : bus.active === false ? 'inactive' : null, bus.layout];
  return `${isString(bus.id) ? bus.id : '?'}: ${parts.filter(isString).join(', ')}`;
}

function eventText(event) {
  const detail = isObject(event.detail) ? Object.entries(event.detail)
    .filter(([, value]) => scalar(value)).map(([key, value]) => `${key}=${value}`).join(' ') : '';
  const time = isNumber(event.timeMs) ? `${(event.timeMs / 1000).toFixed(3)} s` : '';
  return `#${event.seq} ${time} ${isString(event.kind) ? event.kind : '?'} ${detail}`.trim();
}

export class DiagnosticsPanel {
  constructor(root, send) {
    this.send = send;
    this.host = null;
    this.events = new Map();
    const block = (title) => {
      const body = el('div', { class: 'diag-body' });
      root.append(el('section', { class: 'diag-block' }, el('h3', {}, title), body));
      return body;
    };
    this.follow = el('input', { type: 'checkbox', onchange: () => this.subscribe() });
    root.append(el('div', { class: 'row-actions' },
      el('label', { class: 'check' }, this.follow, 'Follow lifecycle and transport'),
      el('button', { type: 'button', onclick: () => send({ type: 'kelvo.getState' }) },
        'Read state')));
    this.identity = block('Plug-in');
    this.hostBody = block('Host');
    this.presets = block('Presets (when connected)');
    this.health = block('Runtime health');
    this.transport = block('Transport');
    this.lifecycle = block('Lifecycle');
    this.state = block('State');
    this.health.textContent = 'No report yet.';
    this.transport.textContent = 'Not followed.';
    this.lifecycle.textContent = 'Not followed.';
    this.state.textContent = 'Not read.';
  }

  hello(hello) {
    if (isObject(hello.identity)) {
      const ui = isObject(hello.identity.ui) ? hello.identity.ui : {};
      this.identity.replaceChildren(definitionList({ ...hello.identity, ...ui }));
    }
    this.host = isObject(hello.host) ? { ...hello.host } : null;
    this.showHost();
    if (isObject(hello.presetState)) {
      this.presets.replaceChildren(definitionList(hello.presetState));
    }
    this.showHealth(hello.runtimeHealth);
    // A new hello means a new page session: the subscription is gone.
    this.follow.checked = false;
  }

  showHost() {
    if (!this.host) {
      this.hostBody.textContent = 'No host facts yet (processing not set up).';
      return;
    }
    const buses = Array.isArray(this.host.buses) ? this.host.buses.map(busText) : [];
    this.hostBody.replaceChildren(definitionList(this.host),
      buses.length ? el('ul', {}, buses.map((bus) => el('li', {}, bus))) : '');
  }

  hostChanged(message) {
    if (!isObject(message.host)) return;
    this.host = { ...(this.host ?? {}), ...message.host };
    this.showHost();
  }

  showHealth(report) {
    if (report === undefined) return;
    this.health.replaceChildren(el('pre', {}, describe(report)));
  }

  subscribe() {
    if (this.follow.checked) {
      this.events.clear();
      this.lifecycle.textContent = 'Waiting for events…';
      this.transport.textContent = 'No transport reported yet.';
      this.send({ type: 'kelvo.diag.subscribe', feeds: FEEDS, hz: FEED_HZ });
    } else {
      this.send({ type: 'kelvo.diag.unsubscribe' });
      this.lifecycle.textContent = 'Not followed.';
      this.transport.textContent = 'Not followed.';
    }
  }

  lifecycleEvents(message) {
    if (!Array.isArray(message.events)) return;
    for (const event of message.events) {
      if (isObject(event) && isNumber(event.seq)) this.events.set(event.seq, event);
    }
    const newest = [...this.events.values()].sort((a, b) => b.seq - a.seq)
      .slice(0, LIFECYCLE_SHOWN);
    this.lifecycle.replaceChildren(el('ul', { class: 'events' },
      newest.map((event) => el('li', {}, eventText(event)))));
  }

  transportFrame(message) {
    const frame = isObject(message.frame) ? message.frame : null;
    if (!frame || !isObject(frame.state)) return;
    const state = frame.state;
    const signature = isObject(state.timeSignature) ? state.timeSignature : {};
    this.transport.replaceChildren(definitionList({
      source: frame.source, playing: state.playing, tempo: state.tempo,
      timeSignature: `${signature.numerator ?? '?'}/${signature.denominator ?? '?'}`,
      ppqPosition: state.ppqPosition, sampleRate: state.sampleRate,
    }));
  }

  stateDocument(message) {
    if (!isObject(message.state)) return;
    const text = describe(message.state);
    this.state.replaceChildren(el('pre', {}, text));
  }
}
