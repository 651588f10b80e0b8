// The sound bank panel and the pad overrides editor. Both show the
// controller's last "kelvo.bankState"; requests go out as bank messages and
// every answer comes back as a new bank state.
import { el, entriesOf, isNumber, isObject, isString } from './dom.js';

// Pad override fields: key, label, range and step (whole numbers where the
// plug-in accepts only those).
const PAD_FIELDS = [
  ['transpose', 'Transpose', -24, 24, 1], ['fineTune', 'Fine (cents)', -100, 100, 'any'],
  ['gain', 'Gain', 0, 4, 'any'], ['pan', 'Pan', -1, 1, 'any'], ['start', 'Start', 0, 1, 'any'],
  ['end', 'End', 0, 1, 'any'], ['attack', 'Attack (s)', 0, 2, 'any'],
  ['release', 'Release (s)', 0.001, 4, 'any'], ['filterHz', 'Filter (Hz)', 20, 20000, 'any'],
  ['resonance', 'Resonance', 0.1, 18, 'any'], ['reverse', 'Reverse (0/1)', 0, 1, 1],
  ['muted', 'Muted (0/1)', 0, 1, 1], ['chokeGroup', 'Choke group', 0, 8, 1],
  ['roundRobinGroup', 'Round robin', 0, 8, 1], ['velocitySensitivity', 'Velocity', 0, 1, 'any'],
];

const text = (value) => (isString(value) ? value : '');
const described = (items) => items.filter((item) => isObject(item) && isString(item.id));

export class BankPanel {
  constructor(root, send) {
    this.send = send;
    const input = (name, label, attributes = {}) => el('label', { class: 'field wide' },
      el('span', {}, label), el('input', { type: 'text', name, spellcheck: 'false', ...attributes }));
    this.source = el('select', { name: 'source' },
      el('option', { value: 'user-folder' }, 'Folder on this computer'),
      el('option', { value: 'hosted' }, 'Hosted archive'));
    this.form = el('form', { class: 'bank-form', onsubmit: (event) => this.load(event) },
      el('label', { class: 'field wide' }, el('span', {}, 'Source'), this.source),
      el('div', { class: 'field-row' }, input('bankPath', 'Folder path'),
        el('button', { type: 'button', onclick: () => send({ type: 'kelvo.pickFolder' }) },
          'Pick…')),
      input('url', 'Hosted URL', { inputmode: 'url' }),
      input('sha256', 'Archive SHA-256', { pattern: '[0-9a-fA-F]{64}', maxlength: '64' }),
      input('instrument', 'Instrument or kit id'),
      el('div', { class: 'row-actions' },
        el('button', { type: 'submit' }, 'Load bank'),
        el('button', { type: 'button', onclick: () => send({ type: 'kelvo.getBankState' }) },
          'Refresh')));
    this.picked = el('p', { class: 'hint', 'aria-live': 'polite' });
    this.status = el('div', { class: 'bank-status', 'aria-live': 'polite' });
    root.append(this.form, this.picked, this.status);
    this.showState({});
  }

  load(event) {
    event.preventDefault();
    const value = (name) => this.form.elements[name].value.trim();
    const source = this.source.value;
    const message = { type: 'kelvo.loadBank', source, instrument: value('instrument') };
    if (source === 'hosted') Object.assign(message, { url: value('url'), sha256: value('sha256') });
    else message.bankPath = value('bankPath');
    this.send(message);
  }

  folderPicked(message) {
    if (message.ok === true && isString(message.path)) {
      this.form.elements.bankPath.value = message.path;
      this.picked.textContent = `Picked ${message.path}`;
    } else {
      this.picked.textContent = message.cancelled === true ? 'No folder picked.' :
        `No folder picker: ${text(message.error) || 'unknown reason'}`;
    }
  }

  showState(state) {
    const runtime = isObject(state.runtime) ? state.runtime : null;
    const rows = [['Bank', runtime ? 'loaded' : 'none loaded']];
    if (runtime) {
      rows.push(['Source', text(runtime.source)], ['Location', text(runtime.locator)]);
      const instrument = isObject(runtime.instrument) ? runtime.instrument : null;
      if (instrument) {
        rows.push(['Instrument', `${text(instrument.name)} (${text(instrument.id)})`],
          ['Available', text(instrument.list)]);
      }
      const positionings = Array.isArray(runtime.positionings) ?
        described(runtime.positionings) : [];
      if (positionings.length) {
        rows.push(['Positionings', positionings.map((item) => text(item.name) || item.id)
          .join(', ')]);
      }
    }
    if (isObject(state.error)) {
      rows.push(['Error', `${text(state.error.code)} ${text(state.error.requestedId)}`.trim()]);
    }
    if (isString(state.reason)) rows.push(['Last answer', state.reason]);
    const presets = isObject(state.presets) && Array.isArray(state.presets.items) &&
      state.presets.bankScoped === true ? described(state.presets.items) : [];
    const list = el('dl', {}, rows.flatMap(([term, detail]) =>
      [el('dt', {}, term), el('dd', {}, detail)]));
    this.status.replaceChildren(list);
    if (presets.length) {
      this.status.append(el('div', { class: 'bank-presets' }, el('h3', {}, 'Bank presets'),
        presets.map((preset) => el('button', { type: 'button', 'data-preset': preset.id,
          onclick: () => this.send({ type: 'kelvo.loadBankPreset', id: preset.id }) },
        text(preset.name) || preset.id))));
    }
    this.status.dataset.reason = text(state.reason);
  }
}

export class PadPanel {
  constructor(root, send) {
    this.send = send;
    this.pads = [];
    this.newId = el('input', { type: 'text', name: 'padId', spellcheck: 'false',
      maxlength: '160' });
    this.list = el('div', { class: 'pad-list' });
    root.append(
      el('p', { class: 'hint' }, 'Overrides apply to the pads of the loaded bank. A new pad ' +
        'starts with gain 1 (no audible change); leave a field empty to keep the bank\'s value.'),
      el('form', { class: 'field-row', onsubmit: (event) => this.add(event) },
        el('label', { class: 'field wide' }, el('span', {}, 'Pad id'), this.newId),
        el('button', { type: 'submit' }, 'Add pad')),
      this.list);
    this.render();
  }

  // The "pads" member of a bank state: pad id -> fields.
  show(pads) {
    if (!isObject(pads)) return;
    this.pads = entriesOf(pads, isObject).map(([id, fields]) => [id,
      Object.fromEntries(PAD_FIELDS.map(([key]) => [key, fields[key]])
        .filter(([, value]) => isNumber(value)))]);
    this.render();
  }

  commit(pads) {
    this.send({ type: 'kelvo.setPadOverrides', pads: Object.fromEntries(pads) });
  }

  add(event) {
    event.preventDefault();
    const id = this.newId.value.trim();
    if (!id || this.pads.some(([pad]) => pad === id)) return;
    this.newId.value = '';
    this.commit([...this.pads, [id, { gain: 1 }]]);
  }

  setField(index, key, input) {
    const pads = this.pads.map(([id, fields]) => [id, { ...fields }]);
    const value = Number(input.value);
    if (input.value.trim() === '' || !Number.isFinite(value)) delete pads[index][1][key];
    else pads[index][1][key] = value;
    this.commit(pads);
  }

  render() {
    const focused = document.activeElement?.dataset?.field;
    const focusedPad = document.activeElement?.closest?.('.pad')?.dataset?.pad;
    this.list.replaceChildren(...(this.pads.length ? this.pads.map(([id, fields], index) =>
      el('fieldset', { class: 'pad', 'data-pad': id }, el('legend', {}, id),
        PAD_FIELDS.map(([key, label, min, max, step]) => el('label', { class: 'field' },
          el('span', {}, label), el('input', { type: 'number', min: String(min),
            max: String(max), step: String(step), 'data-field': key,
            value: isNumber(fields[key]) ? String(fields[key]) : '',
            onchange: (event) => this.setField(index, key, event.target) }))),
        el('button', { type: 'button', 'data-field': 'remove',
          onclick: () => this.commit(this.pads.filter((_, at) => at !== index)) },
        'Remove pad'))) : [el('p', { class: 'empty' }, 'No pad overrides.')]));
    if (focused && focusedPad !== undefined) {
      [...this.list.querySelectorAll('.pad')].find((pad) => pad.dataset.pad === focusedPad)
        ?.querySelector(`[data-field="${focused}"]`)?.focus();
    }
  }
}
