// The console page, in Italian like the window, with the window's captions.
#include "service/console/console.h"

namespace console {
namespace {

const char kPage[] = R"QL(<!DOCTYPE html>
<html lang="it"><head><meta charset="utf-8">
<title>Quilo1</title>
<style>
body{font:14px sans-serif;margin:12px;background:#ece9d8;color:#000}
fieldset{border:1px solid #999;margin:0 0 10px;padding:6px 10px;background:#f4f3ee}
legend{padding:0 4px}
table{border-collapse:collapse}
td,th{padding:2px 8px;text-align:left}
.led{display:inline-block;width:12px;height:12px;border:1px solid #555;background:#fff}
.led.on{background:#0c0}
input[type=text]{width:6em}
.box{display:inline-block;min-width:22em;border:1px solid #999;background:#fff;padding:1px 4px}
#jobs td{border-top:1px solid #ddd;font-size:12px}
#notice{color:#a00;min-height:1.2em}
button{margin-right:6px}
#login{border:1px solid #c90;background:#fff8e0;padding:6px 10px;margin:0 0 10px}
.ro .act{display:none}
</style></head><body>
<div id="login" hidden><b>Console in sola lettura.</b> Per usare i comandi aprire il link di accesso:
su Windows con la voce &laquo;Console nel browser&raquo; del menu File di Quilo1 (anche dall'icona vicino all'orologio);
su Linux con il comando <code>quilo1-console --open</code> (per gli utenti del gruppo quilo1).</div>
<div><button id="annullo" class="act">Annulla Scontrino</button> <button id="test" class="act"> Esegui Test</button>
Matricola: <span id="serial" class="box" style="min-width:8em"></span></div>
<p id="notice"></p>
<fieldset><legend>Porte di comunicazione</legend>
<table id="ports"><tr><th>Porta</th><th>Stato</th><th>Stato dump</th><th>Attiva</th><th></th></tr></table></fieldset>
<fieldset><legend id="frame3">Impostazioni </legend>
<label><input type="radio" name="det" id="fast"> Notifica (Fast)</label> <span id="dettext" class="box" style="min-width:8em"></span><br>
<label><input type="radio" name="det" id="slow"> Timer    (Slow)</label>
<input type="text" id="timer"> <button id="settimer" class="act">Set timer</button> <span id="interval"></span></fieldset>
<fieldset><legend>Messaggi</legend>
<div>Messaggi ECR : <span id="text1" class="box"></span></div>
<div>Stato  Quil1 : <span id="text2" class="box"></span></div>
<div>In corso: <span id="unit"></span> &middot; In coda: <span id="queued">0</span></div></fieldset>
<fieldset><legend>Configurazione Programma</legend>Path Dati: <span id="datadir"></span></fieldset>
<fieldset><legend>Ultimi lavori</legend>
<table id="jobs"><tr><th>Ora</th><th>Porta</th><th>Esito</th><th>Scontrino</th><th>Durata</th></tr></table></fieldset>
<script>
"use strict";
// Without the session cookie the server refuses every action: show them off.
const signedIn=@SIGNEDIN@;
const $=id=>document.getElementById(id);
document.body.classList.toggle("ro",!signedIn);
$("login").hidden=signedIn;
let jobs=[];
function post(path,body){
  return fetch(path,{method:"POST",headers:{"Content-Type":"application/json"},
    body:JSON.stringify(body||{})}).then(r=>{
      // A session lost with a restart of Quilo1: the page says how to log in again.
      if(r.status===403){location.reload();return {};}
      return r.json();}).then(a=>{if(a.message)alert(a.message);return a;})
    .catch(e=>{$("notice").textContent="Richiesta non riuscita: "+e;});
}
function cell(tr,text){const td=document.createElement("td");td.textContent=text;tr.appendChild(td);return td;}
function showStatus(s){
  const t=$("ports");while(t.rows.length>1)t.deleteRow(1);
  let serial="";
  for(const p of s.ports){
    const tr=t.insertRow();cell(tr,"COM "+p.port);
    const led=document.createElement("span");led.className="led"+(p.available?" on":"");
    led.title="Verde, se COM"+p.port+" disponibile";cell(tr,"").appendChild(led);
    cell(tr,p.dump).title="Segnala se DUMP ricevuto su COM"+p.port;
    const cb=document.createElement("input");cb.type="checkbox";cb.checked=p.ticked;
    cb.disabled=!signedIn||!p.enabled||s.configurationLocked;cb.title="Abilita / disabilita COM"+p.port;
    cb.onchange=()=>post("/api/actions/port",{port:p.port,ticked:cb.checked});
    cell(tr,"").appendChild(cb);cell(tr,p.serial?(p.serial+" "+p.mode):"");
    if(p.serial&&!serial)serial=p.serial;
  }
  $("serial").textContent=serial;
  $("fast").checked=s.detection.fast;$("slow").checked=!s.detection.fast;
  $("fast").disabled=$("slow").disabled=!signedIn||s.configurationLocked;
  $("timer").readOnly=!signedIn;
  if(document.activeElement!==$("timer"))$("timer").value=s.detection.timerText;
  $("interval").textContent=s.detection.intervalMs+" ms";
  $("dettext").textContent=s.detection.text;
  $("text1").textContent=s.printerMessage;$("text2").textContent=s.programStatus;
  $("unit").textContent=s.unit.running?("COM "+s.unit.port+" "+s.unit.running):"-";
  $("queued").textContent=s.unit.queued;$("datadir").textContent=s.dataDirectory;
  $("test").disabled=!signedIn||!s.testEnabled;$("annullo").disabled=!signedIn||!s.configurationLocked;
}
function showJobs(){
  const t=$("jobs");while(t.rows.length>1)t.deleteRow(1);
  for(const j of jobs){
    const tr=t.insertRow();cell(tr,new Date(j.time*1000).toLocaleString("it-IT"));
    cell(tr,"COM "+j.port);cell(tr,j.outcome==="ok"?j.text:(j.outcome+" "+j.text));
    cell(tr,j.receipt);cell(tr,(j.durationMs/1000).toFixed(1)+" s");
  }
}
function load(){
  fetch("/api/status").then(r=>r.json()).then(showStatus);
  fetch("/api/jobs?limit=100").then(r=>r.json()).then(a=>{jobs=a.jobs;showJobs();});
}
$("test").onclick=()=>post("/api/actions/test-receipt");
$("annullo").onclick=()=>post("/api/actions/cancel-receipt");
$("fast").onchange=()=>post("/api/actions/detection",{fast:true});
$("slow").onchange=()=>post("/api/actions/detection",{fast:false});
$("settimer").onclick=()=>post("/api/actions/timer",{value:$("timer").value});
const es=new EventSource("/api/events");
es.addEventListener("status",e=>{$("notice").textContent="";showStatus(JSON.parse(e.data));});
es.addEventListener("job",e=>{jobs.unshift(JSON.parse(e.data));jobs=jobs.slice(0,100);showJobs();});
es.addEventListener("message",e=>alert(JSON.parse(e.data).message));
es.onerror=()=>{$("notice").textContent="Collegamento con Quilo1 interrotto, nuovo tentativo...";};
es.onopen=load;
load();
</script></body></html>
)QL";

}  // namespace

std::string ConsolePage(bool signedIn) {
  std::string page = kPage;
  size_t at = page.find("@SIGNEDIN@");
  page.replace(at, 10, signedIn ? "true" : "false");
  return page;
}

std::string LoginRefusedPage() {
  return "<!DOCTYPE html>\n<html lang=\"it\"><head><meta charset=\"utf-8\"><title>Quilo1</title></head><body>\n"
         "<p>Link di accesso non valido o scaduto. Aprire di nuovo il link di accesso (su Windows dal menu File di "
         "Quilo1, su Linux con <code>quilo1-console</code>), oppure <a href=\"/\">la console in sola lettura</a>.</p>\n"
         "</body></html>\n";
}

}  // namespace console
