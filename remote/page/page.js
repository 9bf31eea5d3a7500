'use strict';
// The page of one Sentorix: the live picture, the state, the commands and
// the recordings. Every text from the program goes in as textContent.

const $ = (id) => document.getElementById(id);
let shownState = '';

function trouble(text) {
  $('trouble').textContent = text;
}

async function answerText(response) {
  const text = (await response.text()).trim();
  return text || `The program answered ${response.status}.`;
}

async function refreshStatus() {
  try {
    const response = await fetch('/api/status', { cache: 'no-store' });
    if (!response.ok) {
      trouble(await answerText(response));
      return;
    }
    const status = await response.json();
    const state = $('state');
    state.textContent = status.state || '-';
    state.dataset.state = status.state;
    const cells = $('panels').querySelectorAll('dd');
    status.panels.forEach((text, i) => {
      if (cells[i]) cells[i].textContent = text;
    });
    trouble('');
    if (status.state !== shownState) {
      shownState = status.state;
      refreshRecordings();
    }
  } catch (e) {
    trouble('The program cannot be reached.');
  }
}

async function command(path) {
  try {
    const response = await fetch(path, { method: 'POST' });
    $('reply').textContent = response.ok ? (await response.json()).reply : await answerText(response);
  } catch (e) {
    trouble('The program cannot be reached.');
  }
  refreshStatus();
  refreshRecordings();
}

function size(bytes) {
  if (bytes >= 1048576) return `${(bytes / 1048576).toFixed(1)} MB`;
  return `${Math.max(1, Math.round(bytes / 1024))} KB`;
}

function when(iso) {
  const date = new Date(iso);
  return isNaN(date) ? iso : date.toLocaleString();
}

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

function play(name) {
  $('playing').textContent = name;
  $('player').hidden = false;
  // A new address each time, so the same recording plays again from the start.
  $('playback').src = `/play/${encodeURIComponent(name)}?at=${Date.now()}`;
  $('player').scrollIntoView({ block: 'nearest' });
}

function closePlayer() {
  $('playback').removeAttribute('src');
  $('player').hidden = true;
}

async function remove(name) {
  if (!confirm(`Delete the recording ${name}?`)) return;
  try {
    const response = await fetch(`/recordings/${encodeURIComponent(name)}`, { method: 'DELETE' });
    $('reply').textContent = response.ok ? `Deleted: ${name}` : await answerText(response);
  } catch (e) {
    trouble('The program cannot be reached.');
  }
  if ($('playing').textContent === name) closePlayer();
  refreshRecordings();
}

function row(recording) {
  const name = recording.name;
  const address = encodeURIComponent(name);
  const li = element('li');
  const thumb = element('img', 'thumb');
  thumb.alt = '';
  thumb.loading = 'lazy';
  thumb.src = `/thumb/${address}.jpg`;
  const info = element('div');
  info.append(element('div', 'name', name),
              element('div', 'times', `${when(recording.start)} \u2013 ${when(recording.end)}`),
              element('div', 'times', size(recording.bytes)));
  const actions = element('div', 'actions');
  const playButton = element('button', 'play', 'Play');
  playButton.type = 'button';
  playButton.addEventListener('click', () => play(name));
  const download = element('a', 'button download', 'Download');
  download.href = `/recordings/${address}`;
  download.setAttribute('download', name);
  const deleteButton = element('button', 'delete', 'Delete');
  deleteButton.type = 'button';
  deleteButton.addEventListener('click', () => remove(name));
  actions.append(playButton, download, deleteButton);
  li.append(thumb, info, actions);
  return li;
}

let listing = false;
let shownList = null;
async function refreshRecordings() {
  if (listing) return;
  listing = true;
  try {
    const response = await fetch('/api/recordings', { cache: 'no-store' });
    if (response.ok) {
      const text = await response.text();
      // The rows are built again only when the list changed, so a button
      // being tapped and the thumbnails already loaded stay in place.
      if (text !== shownList) {
        const list = JSON.parse(text); // newest first
        $('recordings').replaceChildren(...list.map(row));
        $('none').hidden = list.length > 0;
        shownList = text;
      }
    }
  } catch (e) {
    trouble('The program cannot be reached.');
  } finally {
    listing = false;
  }
}

// A live picture that broke off (the program restarted, the network
// dropped) is asked for again.
function watchLive() {
  const live = $('live');
  live.addEventListener('error', () => {
    setTimeout(() => { live.src = `/live.mjpg?at=${Date.now()}`; }, 2000);
  });
}

$('arm').addEventListener('click', () => command('/api/arm'));
$('disarm').addEventListener('click', () => command('/api/disarm'));
$('record').addEventListener('click', () => command('/api/record'));
$('close').addEventListener('click', closePlayer);
watchLive();
refreshStatus();
refreshRecordings();
setInterval(refreshStatus, 1000);
setInterval(refreshRecordings, 15000);
