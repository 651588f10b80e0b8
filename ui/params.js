// How each of the plug-in's 18 parameters is shown: its section, title,
// units, range and value names. The values themselves always come from the
// controller; this table mirrors controller/params/kelvo_params.h (the
// browser tests compare every row with what the controller reports).

const list = (values) => ({ kind: 'list', min: 0, max: values.length - 1, units: '', values });
const range = (min, max, units) => ({ kind: 'continuous', min, max, units });

export const PARAMS = [
  { path: 'kick.tune', name: 'Tune', group: 'Kick', ...range(30, 120, 'Hz') },
  { path: 'kick.decay', name: 'Decay', group: 'Kick', ...range(0.05, 1.2, 's') },
  { path: 'kick.click', name: 'Click', group: 'Kick', ...range(0, 1, '') },
  { path: 'snare.tune', name: 'Tune', group: 'Snare', ...range(120, 400, 'Hz') },
  { path: 'snare.decay', name: 'Decay', group: 'Snare', ...range(0.05, 0.6, 's') },
  { path: 'snare.snap', name: 'Snap', group: 'Snare', ...range(0, 1, '') },
  { path: 'tom.tune', name: 'Tune', group: 'Toms', ...range(60, 260, 'Hz') },
  { path: 'tom.decay', name: 'Decay', group: 'Toms', ...range(0.1, 1.2, 's') },
  { path: 'hat.closedDecay', name: 'Closed', group: 'Hats', ...range(0.01, 0.3, 's') },
  { path: 'hat.openDecay', name: 'Open', group: 'Hats', ...range(0.1, 1.5, 's') },
  { path: 'hat.metal', name: 'Metal', group: 'Hats', ...range(0, 1, '') },
  { path: 'cymbal.decay', name: 'Decay', group: 'Cymbal', ...range(0.2, 4.0, 's') },
  { path: 'clap.decay', name: 'Decay', group: 'Clap', ...range(0.05, 0.8, 's') },
  { path: 'kit.tone', name: 'Tone', group: 'Kit', ...range(0, 1, '') },
  { path: 'pattern.on', name: 'Run', group: 'Pattern', ...list(['stopped', 'running']) },
  { path: 'pattern.tempo', name: 'Tempo', group: 'Pattern', ...range(60, 200, 'BPM') },
  {
    path: 'pattern.bank', name: 'Pattern', group: 'Pattern',
    ...list(['Four Floor', 'Backbeat', 'Broken', 'Half Time', 'Tom Roll', 'Cowbell Shuffle']),
  },
  { path: 'master.level', name: 'Level', group: 'Master', ...range(0, 1, '') },
];

export const PARAM_BY_PATH = new Map(PARAMS.map((param) => [param.path, param]));

// Sections in table order.
export const GROUPS = [...new Set(PARAMS.map((param) => param.group))];

const clamp = (value, lo, hi) => Math.min(hi, Math.max(lo, value));

// Plain value <-> position 0..1, as the controller converts them; lists move
// in whole steps.
export function toPosition(param, plain) {
  return param.max === param.min ? 0 : clamp((plain - param.min) / (param.max - param.min), 0, 1);
}

export function fromPosition(param, position) {
  const plain = param.min + clamp(position, 0, 1) * (param.max - param.min);
  return param.kind === 'list' ? Math.round(plain) : plain;
}

// A readable text for a plain value: list names, else the number with as
// many decimals as the range needs (always written with "."), and the units.
export function valueText(param, plain) {
  if (param.kind === 'list') {
    const name = param.values[clamp(Math.round(plain), 0, param.values.length - 1)];
    return name;
  }
  const span = param.max - param.min;
  const decimals = span >= 100 ? 1 : span >= 10 ? 2 : 3;
  const text = String(Number(plain.toFixed(decimals)));
  return param.units ? `${text} ${param.units}` : text;
}

// A typed text as a plain value: a list name or a number (optionally with
// the units after it); null when it reads as neither.
export function parseTyped(param, text) {
  const trimmed = text.trim();
  if (param.kind === 'list') {
    const index = param.values.findIndex((name) => name.toLowerCase() === trimmed.toLowerCase());
    if (index >= 0) return index;
  }
  const match = /^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?/.exec(trimmed);
  if (!match) return null;
  const value = Number(match[0]);
  if (!Number.isFinite(value)) return null;
  return param.kind === 'list' ? clamp(Math.round(value), param.min, param.max) :
    clamp(value, param.min, param.max);
}
