// The CC map editor: the bindings the controller last reported, each edit
// sent at once as the whole new map ("kelvo.setCcMap"); the controller's
// "kelvo.ccMapChanged" reply redraws the list. The page never sees incoming
// MIDI, so "Learn" binds the next parameter control the user moves.
import { el, isBool, isNumber, isObject, isString } from './dom.js';
import { PARAMS, PARAM_BY_PATH } from './params.js';

const CURVES = ['linear', 'exp', 'log', 's-curve'];
const MODES = ['absolute', 'relative-signed-bit', 'relative-binary-offset',
  'relative-twos-complement', 'toggle'];
const TAKEOVERS = ['immediate', 'pickup', 'scaled'];

// A binding as the controller writes it; null when it lacks a usable cc or
// target. Defaults are left out, as the controller leaves them out.
function readBinding(value) {
  if (!isObject(value) || !isNumber(value.cc) || !isString(value.path) ||
      !PARAM_BY_PATH.has(value.path)) return null;
  const binding = { cc: Math.min(127, Math.max(0, Math.round(value.cc))), path: value.path };
  if (isNumber(value.channel) && value.channel >= 1 && value.channel <= 16) {
    binding.channel = Math.round(value.channel);
  }
  if (isNumber(value.min)) binding.min = value.min;
  if (isNumber(value.max)) binding.max = value.max;
  if (CURVES.includes(value.curve) && value.curve !== CURVES[0]) binding.curve = value.curve;
  if (MODES.includes(value.valueMode) && value.valueMode !== MODES[0]) {
    binding.valueMode = value.valueMode;
  }
  if (TAKEOVERS.includes(value.takeover) && value.takeover !== TAKEOVERS[0]) {
    binding.takeover = value.takeover;
  }
  if (isBool(value.enabled) && !value.enabled) binding.enabled = false;
  return binding;
}

export class CcMapPanel {
  constructor(root, send, announce) {
    this.root = root;
    this.send = send;
    this.announce = announce;
    this.bindings = [];
    this.learning = -1;
    this.list = el('div', { class: 'cc-list' });
    root.append(
      el('p', { class: 'hint' },
        'Incoming MIDI is not visible to the editor: choose the CC number, or use Learn ' +
        'and then move a parameter to pick the target.'),
      this.list,
      el('button', { type: 'button', onclick: () => this.add() }, 'Add binding'));
    this.render();
  }

  // The controller's map ("ccMap" of the hello, "map" of kelvo.ccMapChanged).
  show(map) {
    if (!isObject(map) || !Array.isArray(map.bindings)) return;
    this.bindings = map.bindings.map(readBinding).filter((binding) => binding !== null);
    if (this.learning >= this.bindings.length) this.learning = -1;
    this.render();
  }

  commit(bindings) {
    this.send({ type: 'kelvo.setCcMap', map: { version: 1, bindings } });
  }

  edit(index, change) {
    const bindings = this.bindings.map((binding) => ({ ...binding }));
    change(bindings[index]);
    this.commit(bindings);
  }

  add() {
    const used = new Set(this.bindings.map((binding) => binding.cc));
    let cc = 1;
    while (used.has(cc) && cc < 127) cc += 1;
    this.commit([...this.bindings, { cc, path: PARAMS[0].path }]);
  }

  remove(index) {
    this.commit(this.bindings.filter((_, at) => at !== index));
  }

  // Called when the user starts moving a parameter control.
  touched(path) {
    if (this.learning < 0) return;
    const index = this.learning;
    this.learning = -1;
    this.announce(`CC ${this.bindings[index].cc} now controls ${path}`);
    this.edit(index, (binding) => { binding.path = path; });
  }

  toggleLearn(index) {
    this.learning = this.learning === index ? -1 : index;
    this.announce(this.learning >= 0 ? 'Move a parameter to bind it' : 'Learn cancelled');
    this.render();
  }

  render() {
    const focused = document.activeElement?.dataset?.field;
    const focusedRow = document.activeElement?.closest?.('.cc-row')?.dataset?.row;
    this.list.replaceChildren(...(this.bindings.length ? this.bindings.map((binding, index) =>
      this.row(binding, index)) : [el('p', { class: 'empty' }, 'No bindings.')]));
    if (focused && focusedRow !== undefined) {
      this.list.querySelector(`.cc-row[data-row="${focusedRow}"] [data-field="${focused}"]`)
        ?.focus();
    }
  }

  row(binding, index) {
    const set = (apply) => (event) => this.edit(index, (copy) => apply(copy, event.target));
    const optional = (key) => set((copy, input) => {
      const value = Number(input.value);
      if (input.value.trim() === '' || !Number.isFinite(value)) delete copy[key];
      else copy[key] = value;
    });
    const choice = (key, names) => set((copy, input) => {
      if (input.value === names[0]) delete copy[key];
      else copy[key] = input.value;
    });
    const field = (label, control) => el('label', { class: 'field' }, el('span', {}, label), control);
    const select = (name, values, current, labels, onchange) => el('select',
      { 'data-field': name, onchange },
      values.map((value, at) => el('option', { value: String(value), selected: value === current },
        labels[at])));
    const setChannel = set((copy, input) => {
      if (input.value === '0') delete copy.channel;
      else copy.channel = Number(input.value);
    });
    const channels = Array.from({ length: 17 }, (_, at) => at);
    return el('div', { class: `cc-row${this.learning === index ? ' learning' : ''}`,
      'data-row': String(index) },
    field('CC', el('input', { type: 'number', min: '0', max: '127', step: '1', 'data-field': 'cc',
      value: String(binding.cc), onchange: set((copy, input) => {
        const cc = Number(input.value);
        if (Number.isFinite(cc)) copy.cc = Math.min(127, Math.max(0, Math.round(cc)));
      }) })),
    field('Channel', select('channel', channels, binding.channel ?? 0,
      channels.map((at) => (at === 0 ? 'Any' : String(at))), setChannel)),
    field('Parameter', select('path', PARAMS.map((param) => param.path), binding.path,
      PARAMS.map((param) => `${param.group} ${param.name}`),
      set((copy, input) => { copy.path = input.value; }))),
    field('Curve', select('curve', CURVES, binding.curve ?? CURVES[0], CURVES,
      choice('curve', CURVES))),
    field('Mode', select('valueMode', MODES, binding.valueMode ?? MODES[0], MODES,
      choice('valueMode', MODES))),
    field('Takeover', select('takeover', TAKEOVERS, binding.takeover ?? TAKEOVERS[0], TAKEOVERS,
      choice('takeover', TAKEOVERS))),
    field('Min', el('input', { type: 'number', step: 'any', 'data-field': 'min',
      value: binding.min === undefined ? '' : String(binding.min), onchange: optional('min') })),
    field('Max', el('input', { type: 'number', step: 'any', 'data-field': 'max',
      value: binding.max === undefined ? '' : String(binding.max), onchange: optional('max') })),
    field('On', el('input', { type: 'checkbox', 'data-field': 'enabled',
      checked: binding.enabled !== false, onchange: set((copy, input) => {
        if (input.checked) delete copy.enabled;
        else copy.enabled = false;
      }) })),
    el('div', { class: 'row-actions' },
      el('button', { type: 'button', 'data-field': 'learn', 'aria-pressed': String(this.learning ===
        index), onclick: () => this.toggleLearn(index) }, 'Learn'),
      el('button', { type: 'button', 'data-field': 'remove', onclick: () => this.remove(index) },
        'Remove')));
  }
}
